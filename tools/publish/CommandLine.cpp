#include "CommandLine.h"

#include <algorithm>
#include <map>

namespace publish {

namespace {

constexpr const char* kToolHelp =
    "quorvel-publish: writes, signs and checks the releases the Quorvel updater fetches.\n"
    "\n"
    "usage: quorvel-publish keygen KEYFILE\n"
    "       quorvel-publish public KEYFILE\n"
    "       quorvel-publish publish RELEASE_DIR [options]\n"
    "       quorvel-publish verify RELEASE_DIR|URL --public HEX [options]\n"
    "       quorvel-publish rotate RELEASE_DIR --key KEYFILE --new-key KEYFILE [--next-keys "
    "HEX,...]\n"
    "       quorvel-publish help [COMMAND]\n"
    "       quorvel-publish --version\n"
    "\n"
    "Exit codes: 0 done (verify: the release is good), 1 refused or a bad release (the\n"
    "reason on standard error), 2 a wrong command line, 3 a damaged folder or history (a\n"
    "list, signature or release history not as the tool wrote it), 4 an input/output\n"
    "failure (a file that cannot be read or written, a server that cannot be reached).\n"
    "Run 'quorvel-publish help COMMAND' for the options of a command.\n";

const std::map<std::string, std::string> kCommandHelp = {
    {"keygen",
     "usage: quorvel-publish keygen KEYFILE\n"
     "\n"
     "Makes a P-256 key pair and writes it to KEYFILE, readable by its owner only, never\n"
     "over an existing file. The last line of output is the public key (128 hex digits),\n"
     "for QUORVEL_RELEASE_KEY and verify --public. Keep KEYFILE out of release folders.\n"
     "Its release history will be KEYFILE.history: back up both.\n"},
    {"public", "usage: quorvel-publish public KEYFILE\n"
               "\n"
               "Prints the public key of a key file (KEYFILE \"-\": the key is read from standard\n"
               "input).\n"},
    {"publish",
     "usage: quorvel-publish publish RELEASE_DIR [options]\n"
     "\n"
     "Writes filelist.txt, and with --key filelist.txt.sig, for the files below\n"
     "RELEASE_DIR: both or, on any failure, neither.\n"
     "\n"
     "  --key KEYFILE        sign the list (KEYFILE \"-\": read the key from standard input)\n"
     "  --history FILE       the release history (default: KEYFILE.history; needed with\n"
     "                       --key -): every number given, and the list it was given to\n"
     "  --allow-readable-key sign with a key file that others than its owner may read\n"
     "  --release N          the release number (default: one above the highest known:\n"
     "                       the previous release's and the release history's)\n"
     "  --expires DAYS|DATE  protected updaters refuse the release after that many days,\n"
     "                       or after DATE (YYYY-MM-DD); by default it never expires\n"
     "  --previous LIST      the list operators have now (default: filelist.txt of the\n"
     "                       output folder); the previous number is read from LIST.sig\n"
     "  --out DIR            write the list and the signature into DIR, not RELEASE_DIR\n"
     "  --exclude GLOB       leave out the files and folders GLOB matches (repeatable)\n"
     "  --allow-shift        accept a removal that makes operators fetch later entries\n"
     "  --8bit-names         allow bytes above 127 in names (the server names its files\n"
     "                       in the Windows code page)\n"
     "  --code-page N        read names in the operators' Windows code page N, as their\n"
     "                       updater does: 1252 (the default), 932, 936, 949 or 950; the\n"
     "                       server names its files in it, so it implies --8bit-names\n"
     "  --dry-run            print what would be written and fetched; write nothing\n"
     "  --json               print one JSON object (counts, bytes, release, problems)\n"
     "\n"
     "Names beginning with \".\", private key files and release histories are never\n"
     "listed. A previous list its signature does not state, a previous release another\n"
     "key signed and a file written to while it is hashed are refused.\n"},
    {"verify",
     "usage: quorvel-publish verify RELEASE_DIR --public HEX [--out DIR] [--code-page N] "
     "[--json]\n"
     "       quorvel-publish verify URL --public HEX [--code-page N] [--json]\n"
     "\n"
     "Checks the release as a protected updater does: the key statements from the keys\n"
     "HEX (one, or several separated by commas, as QUORVEL_RELEASE_KEY), the signature\n"
     "against the key they lead to, the list against the signature, the expiry, and each\n"
     "listed file's size and hash.\n"
     "With --out DIR the list and its signature lie in DIR. Given an http:// URL (the\n"
     "folder the updater fetches from), every file is fetched through the server, and\n"
     "names beginning with \".\" and the tool's own temporary files must not be served.\n"
     "--code-page N reads the listed names in the operators' Windows code page, as given\n"
     "to publish (1252 by default). --json prints one JSON object (counts, bytes, release,\n"
     "problems).\n"},
    {"rotate",
     "usage: quorvel-publish rotate RELEASE_DIR --key KEYFILE --new-key KEYFILE [--next-keys "
     "HEX,...]\n"
     "\n"
     "Writes the next key statement, RELEASE_DIR/filelist.keys/N.txt: from it on, protected\n"
     "updaters take releases signed with the --new-key key only. It is signed with both keys;\n"
     "the updaters take it when --key is one they trust for key statements (at first: a key\n"
     "they were built with). Then publish with --key of the new key.\n"
     "\n"
     "  --key KEYFILE        the key that vouches for the hand-over (\"-\": standard input)\n"
     "  --new-key KEYFILE    the key that signs releases from now on (\"-\": standard input)\n"
     "  --next-keys HEX,...  the public keys (1 to 8) that may sign the next statement;\n"
     "                       by default the new key alone\n"},
    {"help", "usage: quorvel-publish help [COMMAND]\n"},
};

enum class Takes { Flag, Value, Values };

struct KnownOption {
    Takes takes;
    std::vector<std::string> commands;
};

const std::map<std::string, KnownOption> kKnownOptions = {
    {"--key", {Takes::Value, {"publish", "rotate"}}},
    {"--release", {Takes::Value, {"publish"}}},
    {"--expires", {Takes::Value, {"publish"}}},
    {"--previous", {Takes::Value, {"publish"}}},
    {"--out", {Takes::Value, {"publish", "verify"}}},
    {"--exclude", {Takes::Values, {"publish"}}},
    {"--allow-shift", {Takes::Flag, {"publish"}}},
    {"--8bit-names", {Takes::Flag, {"publish"}}},
    {"--code-page", {Takes::Value, {"publish", "verify"}}},
    {"--dry-run", {Takes::Flag, {"publish"}}},
    {"--public", {Takes::Value, {"verify"}}},
    {"--history", {Takes::Value, {"publish"}}},
    {"--allow-readable-key", {Takes::Flag, {"publish"}}},
    {"--json", {Takes::Flag, {"publish", "verify"}}},
    {"--new-key", {Takes::Value, {"rotate"}}},
    {"--next-keys", {Takes::Value, {"rotate"}}},
};

// A usage error; its hint names the help of the command, when there is one.
CommandLine Wrong(const std::string& error, const std::string& command = std::string()) {
    CommandLine line;
    line.error = error;
    line.helpFor = command;
    return line;
}

// Where each option's value goes.
void Store(Options& o, const std::string& name, const std::string& value) {
    std::map<std::string, std::optional<std::string>*> values = {{"--key", &o.key},
                                                                 {"--release", &o.releaseNumber},
                                                                 {"--expires", &o.expires},
                                                                 {"--previous", &o.previous},
                                                                 {"--out", &o.out},
                                                                 {"--public", &o.publicKey},
                                                                 {"--history", &o.history},
                                                                 {"--new-key", &o.newKey},
                                                                 {"--next-keys", &o.nextKeys},
                                                                 {"--code-page", &o.codePage}};
    std::map<std::string, bool*> flags = {{"--allow-shift", &o.allowShift},
                                          {"--8bit-names", &o.eightBitNames},
                                          {"--dry-run", &o.dryRun},
                                          {"--allow-readable-key", &o.allowReadableKey},
                                          {"--json", &o.json}};
    if (name == "--exclude") {
        o.excludes.push_back(value);
    } else if (values.count(name) != 0) {
        *values[name] = value;
    } else {
        *flags[name] = true;
    }
}

// The code page a --code-page value names, when the tool knows it.
std::optional<release::CodePage> GivenCodePage(const std::string& value) {
    if (value.empty() || value.size() > 5 ||
        value.find_first_not_of("0123456789") != std::string::npos) {
        return std::nullopt;
    }
    return release::KnownCodePage(static_cast<unsigned>(std::stoul(value)));
}

// The checks that take more than one option into account.
std::string Inconsistent(const Options& o) {
    if (o.command == "keygen" && o.operand == "-") {
        return "keygen writes the key to a file, never to standard output: name the file";
    }
    if (o.command == "publish" && !o.key &&
        (o.releaseNumber || o.expires || o.history || o.allowReadableKey)) {
        return std::string(o.releaseNumber ? "--release"
                           : o.expires     ? "--expires"
                           : o.history     ? "--history"
                                           : "--allow-readable-key") +
               " applies to a signed release only: give --key too";
    }
    if (o.command == "publish" && o.key == "-" && !o.history) {
        return "--key - needs --history FILE: the release history is kept beside the key "
               "file, and a key read from standard input has none";
    }
    if (o.command == "rotate" && (!o.key || !o.newKey)) {
        return "rotate needs --key (the key that vouches) and --new-key (the key that signs from "
               "now on)";
    }
    if (o.command == "rotate" && *o.key == "-" && *o.newKey == "-") {
        return "only one of --key and --new-key can be read from standard input";
    }
    if (o.command == "verify" && !o.publicKey) {
        return "verify needs --public HEX, the public key the updater was built with";
    }
    return std::string();
}

} // namespace

std::string HelpText(const std::string& command) {
    if (command.empty()) {
        return kToolHelp;
    }
    auto it = kCommandHelp.find(command);
    return it == kCommandHelp.end() ? std::string() : it->second;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
    CommandLine line;
    if (args.empty()) {
        return Wrong("no command given");
    }
    const std::string& first = args[0];
    if (first == "--help" || first == "-h" || first == "help") {
        line.help = true;
        if (first == "help" && args.size() > 1) {
            line.helpFor = args[1];
            if (HelpText(line.helpFor).empty()) {
                return Wrong("no command \"" + line.helpFor + "\"");
            }
        }
        return args.size() > (first == "help" ? 2u : 1u) ? Wrong("help takes one command at most")
                                                         : line;
    }
    if (first == "--version") {
        line.version = args.size() == 1;
        return line.version ? line : Wrong("--version takes nothing more");
    }
    if (kCommandHelp.count(first) == 0 || first == "help") {
        return Wrong(first[0] == '-' ? "an option comes after the command: \"" + first + "\""
                                     : "unknown command \"" + first + "\"");
    }
    Options o;
    o.command = first;
    bool haveOperand = false;
    std::map<std::string, bool> seen;
    for (std::size_t i = 1; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            line.help = true;
            line.helpFor = o.command;
            return line;
        }
        if (a.size() > 1 && a[0] == '-') {
            auto known = kKnownOptions.find(a);
            if (known == kKnownOptions.end()) {
                return Wrong("unknown option " + a, o.command);
            }
            const auto& commands = known->second.commands;
            if (std::find(commands.begin(), commands.end(), o.command) == commands.end()) {
                return Wrong(a + " does not apply to " + o.command, o.command);
            }
            if (known->second.takes != Takes::Values && seen[a]) {
                return Wrong(a + " is given twice", o.command);
            }
            seen[a] = true;
            std::string value;
            if (known->second.takes != Takes::Flag) {
                if (i + 1 >= args.size()) {
                    return Wrong(a + " needs a value", o.command);
                }
                value = args[++i];
            }
            Store(o, a, value);
        } else if (haveOperand) {
            return Wrong(o.command + " takes one " +
                             (o.command == "keygen" || o.command == "public" ? "key file"
                                                                             : "release folder") +
                             ", not also \"" + a + "\"",
                         o.command);
        } else {
            o.operand = a;
            haveOperand = true;
        }
    }
    if (!haveOperand) {
        return Wrong(o.command + " needs " +
                         (o.command == "keygen" || o.command == "public" ? "a key file"
                                                                         : "a release folder"),
                     o.command);
    }
    if (o.codePage) {
        auto page = GivenCodePage(*o.codePage);
        if (!page) {
            return Wrong("--code-page takes one of the code pages " +
                             release::KnownCodePagesNamed() + ", not \"" + *o.codePage + "\"",
                         o.command);
        }
        o.page = *page;
        // The names are those of a server that names its files in that code page.
        o.eightBitNames = true;
    }
    std::string wrong = Inconsistent(o);
    if (!wrong.empty()) {
        return Wrong(wrong, o.command);
    }
    line.options = o;
    return line;
}

} // namespace publish
