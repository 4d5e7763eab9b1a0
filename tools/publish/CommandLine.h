// The command line of quorvel-publish: a command, its one operand and its options. Each
// command takes only its own options.
#pragma once

#include "release/CodePage.h"

#include <optional>
#include <string>
#include <vector>

namespace publish {

struct Options {
    std::string command;
    std::string operand; // the key file or the release folder
    std::optional<std::string> previous;
    std::optional<std::string> key;
    std::optional<std::string> releaseNumber;
    std::optional<std::string> expires;
    std::optional<std::string> out;
    std::optional<std::string> publicKey;
    std::optional<std::string> history;
    std::optional<std::string> newKey;   // rotate
    std::optional<std::string> nextKeys; // rotate
    std::optional<std::string> codePage; // --code-page as given
    std::vector<std::string> excludes;
    // The code page names are read in: the one of --code-page, else Windows-1252.
    release::CodePage page = release::WesternCodePage();
    bool allowShift = false;
    bool eightBitNames = false;
    bool dryRun = false;
    bool allowReadableKey = false;
    bool json = false;
};

// What the command line asks for, or what is wrong with it (a usage error, named).
struct CommandLine {
    std::optional<Options> options;
    std::string error;
    std::string helpFor; // the command whose help was asked for; "" for the tool's own
    bool help = false;
    bool version = false;
};

CommandLine ParseCommandLine(const std::vector<std::string>& args);

// The help of the tool, or of one command; empty for an unknown command.
std::string HelpText(const std::string& command);

} // namespace publish
