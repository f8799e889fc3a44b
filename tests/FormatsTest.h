// A fixture for format tests: code page 1252 for each test, put back
// afterwards, and default options for the test to change.
#pragma once

#include <gtest/gtest.h>

#include "formats/FormatOptions.h"
#include "platform/Platform.h"

namespace vmtest {

class FormatsTest : public ::testing::Test {
protected:
    void SetUp() override { vm::platform::AnsiCodePage = 1252; }
    void TearDown() override { vm::platform::AnsiCodePage = 0; }

    vm::FormatOptions options;
};

}  // namespace vmtest
