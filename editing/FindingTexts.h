// The findings panel's texts that a language file can replace
// (shell/Language.cpp applies them), with their built-in English.
// Standard C++: the language code is.
#pragma once

#include <string>
#include <vector>

#include "documents/DocumentTexts.h"

namespace vm {

inline std::u16string sFindingsNone = u"No findings";
inline std::u16string sFindingsCounts = u"%1 errors, %2 warnings, %3 info";
inline std::u16string sFindingsAllSeverities = u"All findings";
inline std::u16string sFindingsWarnings = u"Errors and warnings";
inline std::u16string sFindingsErrors = u"Errors";
inline std::u16string sFindingsAllRules = u"All rules";
inline std::u16string sFindingsClose = u"Close";
inline std::u16string sFindingsFix = u"Fix";
inline std::u16string sFindingsFixed =
    u"%1 findings fixed (the fixes of each table undo as one step); %2 cannot be fixed here (new ids, languages no "
    u"side shows): vellumark-cli fix does those.";
inline std::u16string sFindingColumnSeverity = u"Severity";
inline std::u16string sFindingColumnRule = u"Rule";
inline std::u16string sFindingColumnKey = u"Key";
inline std::u16string sFindingColumnLanguage = u"Language";
inline std::u16string sFindingColumnMessage = u"Message";
inline std::u16string sFindingColumnPlace = u"File";

// Every text above with its key and built-in English.
inline const std::vector<KeyedText>& FindingTexts() {
    static const std::vector<KeyedText> texts = {
        {u"sFindingsNone", &sFindingsNone, u"No findings"},
        {u"sFindingsCounts", &sFindingsCounts, u"%1 errors, %2 warnings, %3 info"},
        {u"sFindingsAllSeverities", &sFindingsAllSeverities, u"All findings"},
        {u"sFindingsWarnings", &sFindingsWarnings, u"Errors and warnings"},
        {u"sFindingsErrors", &sFindingsErrors, u"Errors"},
        {u"sFindingsAllRules", &sFindingsAllRules, u"All rules"},
        {u"sFindingsClose", &sFindingsClose, u"Close"},
        {u"sFindingsFix", &sFindingsFix, u"Fix"},
        {u"sFindingsFixed", &sFindingsFixed,
         u"%1 findings fixed (the fixes of each table undo as one step); %2 cannot be fixed here (new ids, languages "
         u"no side shows): vellumark-cli fix does those."},
        {u"sFindingColumnSeverity", &sFindingColumnSeverity, u"Severity"},
        {u"sFindingColumnRule", &sFindingColumnRule, u"Rule"},
        {u"sFindingColumnKey", &sFindingColumnKey, u"Key"},
        {u"sFindingColumnLanguage", &sFindingColumnLanguage, u"Language"},
        {u"sFindingColumnMessage", &sFindingColumnMessage, u"Message"},
        {u"sFindingColumnPlace", &sFindingColumnPlace, u"File"},
    };
    return texts;
}

inline void ResetFindingTexts() {
    for (const KeyedText& t : FindingTexts()) *t.text = t.builtIn;
}

}  // namespace vm
