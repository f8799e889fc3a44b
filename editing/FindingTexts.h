// The findings panel's texts that a language file can replace
// (shell/Language.cpp applies them), with their built-in English.
// Standard C++: the language code is.
#pragma once

#include <string>
#include <vector>

#include "documents/DocumentTexts.h"

namespace vm {

inline const char16_t* const BuiltInFindingsNone = u"No findings";
inline std::u16string sFindingsNone = BuiltInFindingsNone;
inline const char16_t* const BuiltInFindingsCounts = u"%1 errors, %2 warnings, %3 info";
inline std::u16string sFindingsCounts = BuiltInFindingsCounts;
inline const char16_t* const BuiltInFindingsAllSeverities = u"All findings";
inline std::u16string sFindingsAllSeverities = BuiltInFindingsAllSeverities;
inline const char16_t* const BuiltInFindingsWarnings = u"Errors and warnings";
inline std::u16string sFindingsWarnings = BuiltInFindingsWarnings;
inline const char16_t* const BuiltInFindingsErrors = u"Errors";
inline std::u16string sFindingsErrors = BuiltInFindingsErrors;
inline const char16_t* const BuiltInFindingsAllRules = u"All rules";
inline std::u16string sFindingsAllRules = BuiltInFindingsAllRules;
inline const char16_t* const BuiltInFindingsClose = u"Close";
inline std::u16string sFindingsClose = BuiltInFindingsClose;
inline const char16_t* const BuiltInFindingsFix = u"Fix";
inline std::u16string sFindingsFix = BuiltInFindingsFix;
inline const char16_t* const BuiltInFindingsFixed =
    u"%1 findings fixed (the fixes of each table undo as one step); %2 cannot be fixed here (new ids, languages no "
    u"side shows): vellumark-cli fix does those.";
inline std::u16string sFindingsFixed = BuiltInFindingsFixed;
inline const char16_t* const BuiltInFindingColumnSeverity = u"Severity";
inline std::u16string sFindingColumnSeverity = BuiltInFindingColumnSeverity;
inline const char16_t* const BuiltInFindingColumnRule = u"Rule";
inline std::u16string sFindingColumnRule = BuiltInFindingColumnRule;
inline const char16_t* const BuiltInFindingColumnKey = u"Key";
inline std::u16string sFindingColumnKey = BuiltInFindingColumnKey;
inline const char16_t* const BuiltInFindingColumnLanguage = u"Language";
inline std::u16string sFindingColumnLanguage = BuiltInFindingColumnLanguage;
inline const char16_t* const BuiltInFindingColumnMessage = u"Message";
inline std::u16string sFindingColumnMessage = BuiltInFindingColumnMessage;
inline const char16_t* const BuiltInFindingColumnPlace = u"File";
inline std::u16string sFindingColumnPlace = BuiltInFindingColumnPlace;

// Every text above with its key and built-in English.
inline const std::vector<KeyedText>& FindingTexts() {
    static const std::vector<KeyedText> texts = {
        {u"sFindingsNone", &sFindingsNone, BuiltInFindingsNone},
        {u"sFindingsCounts", &sFindingsCounts, BuiltInFindingsCounts},
        {u"sFindingsAllSeverities", &sFindingsAllSeverities, BuiltInFindingsAllSeverities},
        {u"sFindingsWarnings", &sFindingsWarnings, BuiltInFindingsWarnings},
        {u"sFindingsErrors", &sFindingsErrors, BuiltInFindingsErrors},
        {u"sFindingsAllRules", &sFindingsAllRules, BuiltInFindingsAllRules},
        {u"sFindingsClose", &sFindingsClose, BuiltInFindingsClose},
        {u"sFindingsFix", &sFindingsFix, BuiltInFindingsFix},
        {u"sFindingsFixed", &sFindingsFixed, BuiltInFindingsFixed},
        {u"sFindingColumnSeverity", &sFindingColumnSeverity, BuiltInFindingColumnSeverity},
        {u"sFindingColumnRule", &sFindingColumnRule, BuiltInFindingColumnRule},
        {u"sFindingColumnKey", &sFindingColumnKey, BuiltInFindingColumnKey},
        {u"sFindingColumnLanguage", &sFindingColumnLanguage, BuiltInFindingColumnLanguage},
        {u"sFindingColumnMessage", &sFindingColumnMessage, BuiltInFindingColumnMessage},
        {u"sFindingColumnPlace", &sFindingColumnPlace, BuiltInFindingColumnPlace},
    };
    return texts;
}

inline void ResetFindingTexts() {
    for (const KeyedText& t : FindingTexts()) *t.text = t.builtIn;
}

}  // namespace vm
