// What the check, diff and rebase commands share: their arguments split
// into names and options, and texts printed as JSON strings.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <rapidjson/stringbuffer.h>
#include <rapidjson/writer.h>

#include "platform/Platform.h"

namespace vm {

// Wrong usage of a command: its message, and exit status 2.
struct CommandUsage {
    std::string message;
};

// The option being read, and its value: the rest of the argument after
// "=", or the next argument (wrong usage when there is none).
class OptionValue {
public:
    OptionValue(const std::vector<std::u16string>& args, std::size_t& i, std::string name,
                std::optional<std::u16string> inlineValue)
        : args_(args), i_(i), name_(std::move(name)), inline_(std::move(inlineValue)) {}
    const std::string& Name() const { return name_; }
    std::u16string Value() {
        if (inline_) return *inline_;
        if (i_ + 1 >= args_.size()) throw CommandUsage{name_ + " needs a value"};
        return args_[++i_];
    }
    std::string Utf8Value() { return platform::ToUtf8(Value()); }
    // For a switch: a value given with "=" is wrong usage.
    void NoValue() const {
        if (inline_) throw CommandUsage{name_ + " takes no value"};
    }

private:
    const std::vector<std::u16string>& args_;
    std::size_t& i_;
    std::string name_;
    std::optional<std::u16string> inline_;
};

// Splits the arguments after the command (args[0]) into names, returned,
// and options, each handed to onOption; "--" ends the options.
inline std::vector<std::u16string> SplitArguments(const std::vector<std::u16string>& args,
                                                  const std::function<void(OptionValue&)>& onOption) {
    std::vector<std::u16string> names;
    bool ended = false;
    for (std::size_t i = 1; i < args.size(); ++i) {
        std::u16string arg = args[i];
        if (ended || arg.size() < 2 || arg[0] != u'-') {
            names.push_back(arg);
            continue;
        }
        if (arg == u"--") {
            ended = true;
            continue;
        }
        std::optional<std::u16string> inlineValue;
        if (const auto eq = arg.find(u'='); eq != std::u16string::npos) {
            inlineValue = arg.substr(eq + 1);
            arg.resize(eq);
        }
        OptionValue option(args, i, platform::ToUtf8(arg), std::move(inlineValue));
        onOption(option);
    }
    return names;
}

// A text as a JSON string: quoted, its line breaks and quotes escaped.
inline std::string JsonQuoted(const std::u16string& text) {
    const std::string utf8 = platform::ToUtf8(text);
    rapidjson::StringBuffer buffer;
    rapidjson::Writer<rapidjson::StringBuffer> w(buffer);
    w.String(utf8.c_str(), static_cast<rapidjson::SizeType>(utf8.size()));
    return buffer.GetString();
}

}  // namespace vm
