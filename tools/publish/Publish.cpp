#include "Publish.h"

#include "Commit.h"
#include "Dates.h"
#include "Files.h"
#include "Keys.h"
#include "Numbering.h"
#include "Plan.h"
#include "ReleaseFolder.h"
#include "release/ReleaseFormat.h"

#include <sstream>

namespace publish {

namespace {

constexpr std::size_t kShiftsNamed = 10;

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Whether a text is an update list this tool can continue: a list is text, in CR LF lines
// of a path, a TAB and a stamp.
Status IsAList(const std::string& text) {
    std::size_t line = 1;
    for (std::size_t pos = 0; pos < text.size(); ++line) {
        std::size_t end = text.find("\r\n", pos);
        const std::string row = text.substr(pos, end == std::string::npos ? end : end - pos);
        pos = end == std::string::npos ? text.size() : end + 2;
        for (unsigned char c : row) {
            if (c < 32 && c != '\t') {
                return Refusal("line " + std::to_string(line) +
                               (c == '\n' ? " ends without CR LF" : " holds a control character") +
                               ", as no update list does");
            }
        }
        if (!row.empty() && row.find('\t') == std::string::npos) {
            return Refusal("line " + std::to_string(line) + " has no TAB between path and stamp");
        }
    }
    return Done{};
}

// The list operators have now: --previous, else the output folder's list, else (with
// --out) the release folder's own.
std::optional<std::string> PreviousListFile(const Options& o, const OutputNames& names) {
    if (o.previous || Exists(names.list)) {
        return o.previous.value_or(names.list);
    }
    const std::string own = Join(o.operand, release::kListName);
    if (o.out && Exists(own)) {
        return own;
    }
    return std::nullopt;
}

// The entries of the previous list (none without one).
Result<std::vector<release::ListEntry>> ReadPrevious(const std::optional<std::string>& file) {
    if (!file) {
        return std::vector<release::ListEntry>();
    }
    auto text = ReadFile(*file, kMaxListRead);
    if (!text) {
        return text.With(" (the previous list)");
    }
    if (Status list = IsAList(*text); !list) {
        return Refusal("\"" + *file + "\" is not an update list: " + list.problem());
    }
    return release::ParseList(*text);
}

std::string ShiftRefusal(const Plan& plan) {
    std::ostringstream text;
    text << "removing ";
    for (std::size_t i = 0; i < plan.removed.size(); ++i) {
        text << (i == 0 ? "" : ", ") << "\"" << plan.removed[i] << "\"";
    }
    text << " shifts " << Count(plan.shifted.size(), "later entry", "later entries")
         << ", which operators would fetch again: ";
    for (std::size_t i = 0; i < plan.shifted.size() && i < kShiftsNamed; ++i) {
        const Shift& s = plan.shifted[i];
        text << (i == 0 ? "" : ", ") << "\"" << s.path << "\" (entry " << s.from << ", now " << s.to
             << ")";
    }
    if (plan.shifted.size() > kShiftsNamed) {
        text << " and " << plan.shifted.size() - kShiftsNamed << " more";
    }
    text << ". Keep the removed files in the release (operators fetch nothing for an "
            "unchanged file), or give --allow-shift to accept it";
    return text.str();
}

void PrintPlan(const Plan& plan, std::ostream& out) {
    for (const auto& p : plan.added) {
        out << "new: " << p << "\n";
    }
    for (const auto& p : plan.changed) {
        out << "changed: " << p << "\n";
    }
    for (const auto& s : plan.shifted) {
        out << "shifted: " << s.path << " (entry " << s.from << ", now " << s.to << ")\n";
    }
}

// An unsigned publish must not leave a signature beside a list it does not sign.
Status NoStaleSignature(const OutputNames& names, const std::string& list) {
    if (!Exists(names.signature)) {
        return Done{};
    }
    auto text = ReadFile(names.signature, release::kMaxSignatureFileSize);
    auto file = text ? release::ParseSignatureFile(*text) : std::nullopt;
    auto digest = platform::Sha256Of(list);
    if (file && digest && file->listDigest == *digest &&
        file->listSize.value_or(list.size()) == list.size()) {
        return Done{};
    }
    return Refusal("\"" + names.signature +
                   "\" would no longer sign the list, and protected updaters would refuse the "
                   "release: give --key to sign it (or remove the signature file to publish "
                   "unsigned)");
}

class PublishRun {
public:
    PublishRun(const Options& o, std::istream& in, std::ostream& out, std::ostream& err)
        : o_(o), in_(in), out_(out), err_(err), names_(o.out.value_or(o.operand)) {}

    int Run() {
        if (Status prepared = Prepare(); !prepared) {
            return Report(prepared.failure(), "; nothing written");
        }
        if (!o_.dryRun) {
            if (Status committed = CommitRelease(names_, list_, signature_); !committed) {
                return Report(committed.failure(), "");
            }
        } else {
            PrintPlan(plan_, out_);
        }
        for (const auto& gone : plan_.removed) {
            out_ << "removed: " << gone << "\n";
        }
        Summary();
        return 0;
    }

private:
    int Report(const Failure& failure, const char* outcome) {
        err_ << "quorvel-publish: " << failure.problem << outcome << "\n";
        if (failure.fault == Fault::Usage) {
            err_ << "Try 'quorvel-publish help publish'.\n";
            return 2;
        }
        return 1;
    }

    // Everything a publish writes, worked out: the plan, the list and its signature.
    Status Prepare() {
        if (Status valid = ValuesValid(); !valid) {
            return valid;
        }
        const std::optional<std::string> previousFile = PreviousListFile(o_, names_);
        auto previous = ReadPrevious(previousFile);
        if (!previous) {
            return previous.failure();
        }
        auto paths = Walk();
        if (!paths) {
            return paths.failure();
        }
        if (Status signing = Sign(previousFile); !signing) {
            return signing;
        }
        auto files = Examined(*paths);
        if (!files) {
            return files.failure();
        }
        plan_ = MakePlan(*previous, *files);
        if (!plan_.shifted.empty() && !plan_.removed.empty() && !o_.allowShift) {
            return Refusal(ShiftRefusal(plan_));
        }
        list_ = release::WriteList(plan_.entries);
        if (!key_) {
            return NoStaleSignature(names_, list_);
        }
        auto file = release::SignList(list_, number_, *key_, expires_);
        if (!file) {
            return Refusal("signing failed (do the halves of the key file belong together?)");
        }
        signature_ = release::WriteSignatureFile(*file);
        return Done{};
    }

    // The paths of the release, unless one of them, or the folder, is refused.
    Result<std::vector<std::string>> Walk() {
        if (IsFolder(names_.list) || IsFolder(names_.signature)) {
            return Refusal("a folder is in the way of \"" +
                           (IsFolder(names_.list) ? names_.list : names_.signature) + "\"");
        }
        // A release's own list and signature are never listed, nor those being written.
        WalkRules rules{o_.excludes, OutputFileNames()};
        if (auto inside = PathWithin(o_.operand, names_.folder); inside && !inside->empty()) {
            for (const auto& name : OutputFileNames()) {
                rules.outputs.push_back(*inside + "/" + name);
            }
        }
        ReleaseFiles found = WalkRelease(o_.operand, rules);
        for (const auto& s : found.skipped) {
            out_ << "skipped: " << s.path << " (" << s.why << ")\n";
        }
        auto refused = release::RefusedReleasePaths(found.paths, o_.eightBitNames);
        refused.insert(refused.begin(), found.refused.begin(), found.refused.end());
        if (!found.refused.empty() && found.paths.empty()) {
            refused.pop_back(); // "empty" says nothing more than why
        }
        for (std::size_t i = 0; i + 1 < refused.size(); ++i) {
            err_ << "quorvel-publish: refused: " << refused[i] << "\n";
        }
        if (!refused.empty()) {
            return Refusal("refused: " + refused.back());
        }
        return found.paths;
    }

    // The files of the release, read whole, but private keys.
    Result<std::vector<FoundFile>> Examined(const std::vector<std::string>& paths) {
        std::vector<FoundFile> files;
        for (const auto& path : paths) {
            auto file = Examine(o_.operand, path);
            if (!file) {
                return Refusal("\"" + path + "\": " + file.problem());
            }
            if (file->privateKey) {
                err_ << "quorvel-publish: warning: skipped: " << path
                     << " (a private key file: it is never listed, but a web server that "
                        "serves this folder hands it to anyone who asks; move it out)\n";
            } else {
                files.push_back(*file);
            }
        }
        if (files.empty()) {
            return Refusal("the release is empty: there is no file to publish");
        }
        return files;
    }

    // The values of --release and --expires (which apply with --key only).
    Status ValuesValid() {
        if (o_.releaseNumber) {
            auto given = GivenRelease(*o_.releaseNumber);
            if (!given) {
                return given.failure();
            }
            wanted_ = *given;
        }
        if (o_.expires) {
            auto date = ExpiryDate(*o_.expires, Today());
            if (!date) {
                return date.failure();
            }
            expires_ = *date;
        }
        return Done{};
    }

    // The key and the number of a signed publish.
    Status Sign(const std::optional<std::string>& previousList) {
        if (!o_.key) {
            return Done{};
        }
        auto number = NextRelease(previousList, names_.signature, wanted_);
        if (!number) {
            return number.failure();
        }
        number_ = *number;
        auto key = LoadKey(*o_.key, in_);
        if (!key) {
            return key.failure();
        }
        key_ = *key;
        return Done{};
    }

    void Summary() {
        out_ << (o_.dryRun ? "dry run, nothing written: " : "") << names_.list << ": "
             << Count(plan_.entries.size(), "entry", "entries") << " (" << plan_.added.size()
             << " new, " << plan_.changed.size() << " changed, " << plan_.removed.size()
             << " removed, " << plan_.shifted.size() << " shifted): operators fetch "
             << Count(plan_.fetched, "file", "files") << "\n";
        if (key_) {
            out_ << (o_.dryRun ? "dry run, nothing written: " : "") << names_.signature
                 << ": release " << number_ << (expires_ ? ", expires " + *expires_ : "") << "\n";
        }
    }

    const Options& o_;
    std::istream& in_;
    std::ostream& out_;
    std::ostream& err_;
    OutputNames names_;
    std::optional<platform::P256KeyPair> key_;
    std::optional<std::uint32_t> wanted_;
    std::uint32_t number_ = 0;
    std::optional<std::string> expires_;
    Plan plan_;
    std::string list_;
    std::optional<std::string> signature_;
};

} // namespace

int Publish(const Options& o, std::istream& in, std::ostream& out, std::ostream& err) {
    return PublishRun(o, in, out, err).Run();
}

} // namespace publish
