// A fixture for format tests: default options and code page 1252 for each
// test, both put back afterwards.
#pragma once

#include <gtest/gtest.h>

#include "formats/Options.h"
#include "platform/Platform.h"

namespace vmtest {

class FormatsTest : public ::testing::Test {
protected:
    void SetUp() override {
        vm::ResetOptions();
        vm::platform::AnsiCodePage = 1252;
    }
    void TearDown() override {
        vm::ResetOptions();
        vm::platform::AnsiCodePage = 0;
    }
};

}  // namespace vmtest
