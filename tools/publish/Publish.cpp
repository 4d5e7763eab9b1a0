#include "Publish.h"

#include "Commit.h"
#include "Dates.h"
#include "Files.h"
#include "KeyChainFolder.h"
#include "Keys.h"
#include "Numbering.h"
#include "Plan.h"
#include "ReleaseFolder.h"
#include "release/KeyStatement.h"
#include "release/ReleaseFormat.h"

#include <sstream>

namespace publish {

namespace {

constexpr std::size_t kShiftsNamed = 10;

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

// Why a text is no update list this tool can continue, or nothing: a list is text, in
// CR LF lines of a path, a TAB and a stamp.
std::optional<std::string> NotAList(const std::string& text) {
    std::size_t line = 1;
    for (std::size_t pos = 0; pos < text.size(); ++line) {
        std::size_t end = text.find("\r\n", pos);
        const std::string row = text.substr(pos, end == std::string::npos ? end : end - pos);
        pos = end == std::string::npos ? text.size() : end + 2;
        for (unsigned char c : row) {
            if (c < 32 && c != '\t') {
                return "line " + std::to_string(line) +
                       (c == '\n' ? " ends without CR LF" : " holds a control character") +
                       ", as no update list does";
            }
        }
        if (!row.empty() && row.find('\t') == std::string::npos) {
            return "line " + std::to_string(line) + " has no TAB between path and stamp";
        }
    }
    return std::nullopt;
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

// The entries of the previous list (none without one), or nothing when it is unusable.
std::optional<std::vector<release::ListEntry>> ReadPrevious(const std::optional<std::string>& file,
                                                            std::string& problem) {
    if (!file) {
        return std::vector<release::ListEntry>();
    }
    auto text = ReadFile(*file, kMaxListRead, problem);
    if (!text) {
        problem += " (the previous list)";
        return std::nullopt;
    }
    if (auto why = NotAList(*text)) {
        problem = "\"" + *file + "\" is not an update list: " + *why;
        return std::nullopt;
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
std::optional<std::string> StaleSignature(const OutputNames& names, const std::string& list) {
    if (!Exists(names.signature)) {
        return std::nullopt;
    }
    std::string why;
    auto text = ReadFile(names.signature, release::kMaxSignatureFileSize, why);
    auto file = text ? release::ParseSignatureFile(*text) : std::nullopt;
    auto digest = platform::Sha256Of(list);
    if (file && digest && file->listDigest == *digest &&
        file->listSize.value_or(list.size()) == list.size()) {
        return std::nullopt;
    }
    return "\"" + names.signature +
           "\" would no longer sign the list, and protected updaters would refuse the "
           "release: give --key to sign it (or remove the signature file to publish "
           "unsigned)";
}

class PublishRun {
public:
    PublishRun(const Options& o, std::istream& in, std::ostream& out, std::ostream& err)
        : o_(o), in_(in), out_(out), err_(err), names_(o.out.value_or(o.operand)) {}

    int Run() {
        if (!ValuesValid()) {
            usage_ = true;
            return Refused();
        }
        std::vector<std::string> paths;
        std::vector<FoundFile> files;
        const std::optional<std::string> previousFile = PreviousListFile(o_, names_);
        auto previous = ReadPrevious(previousFile, problem_);
        if (!previous || !Walk(paths) || !Sign(previousFile) || !Examined(paths, files)) {
            return Refused();
        }
        Plan plan = MakePlan(*previous, files);
        if (!plan.shifted.empty() && !plan.removed.empty() && !o_.allowShift) {
            problem_ = ShiftRefusal(plan);
            return Refused();
        }
        const std::string list = release::WriteList(plan.entries);
        std::optional<std::string> signature;
        if (key_) {
            auto file = release::SignList(list, number_, *key_, expires_, statements_);
            if (!file) {
                problem_ = "signing failed (do the halves of the key file belong together?)";
                return Refused();
            }
            signature = release::WriteSignatureFile(*file);
        } else if (auto stale = StaleSignature(names_, list)) {
            problem_ = *stale;
            return Refused();
        }
        if (!o_.dryRun) {
            if (auto failure = CommitRelease(names_, list, signature)) {
                err_ << "quorvel-publish: " << *failure << "\n";
                return 1;
            }
        } else {
            PrintPlan(plan, out_);
        }
        for (const auto& gone : plan.removed) {
            out_ << "removed: " << gone << "\n";
        }
        Summary(plan);
        return 0;
    }

private:
    int Refused() {
        err_ << "quorvel-publish: " << problem_ << "; nothing written\n";
        if (usage_) {
            err_ << "Try 'quorvel-publish help publish'.\n";
        }
        return usage_ ? 2 : 1;
    }

    // The paths of the release; false when one of them, or the folder, is refused.
    bool Walk(std::vector<std::string>& paths) {
        if (IsFolder(names_.list) || IsFolder(names_.signature)) {
            problem_ = "a folder is in the way of \"" +
                       (IsFolder(names_.list) ? names_.list : names_.signature) + "\"";
            return false;
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
            problem_ = "refused: " + refused.back();
            return false;
        }
        paths = found.paths;
        return true;
    }

    // The files of the release, read whole, but private keys.
    bool Examined(const std::vector<std::string>& paths, std::vector<FoundFile>& files) {
        for (const auto& path : paths) {
            std::string why;
            auto file = Examine(o_.operand, path, why);
            if (!file) {
                problem_ = "\"" + path + "\": " + why;
                return false;
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
            problem_ = "the release is empty: there is no file to publish";
            return false;
        }
        return true;
    }

    // The key, the number and the expiry of a signed publish.
    // The values of --release and --expires (which apply with --key only).
    bool ValuesValid() {
        if (o_.releaseNumber && !(wanted_ = GivenRelease(*o_.releaseNumber, problem_))) {
            return false;
        }
        return !o_.expires || (expires_ = ExpiryDate(*o_.expires, Today(), problem_));
    }

    bool Sign(const std::optional<std::string>& previousList) {
        if (!o_.key) {
            return true;
        }
        Decision decision = NextRelease(previousList, names_.signature, wanted_);
        if (!decision.problem.empty()) {
            problem_ = decision.problem;
            return false;
        }
        number_ = *decision.number;
        key_ = LoadKey(*o_.key, in_, problem_);
        return key_.has_value() && ChainNamesKey();
    }

    std::string KeyName() const {
        return *o_.key == "-" ? std::string("the key read from standard input") : *o_.key;
    }

    // The key is the one the key statements beside the list name as the signer.
    bool ChainNamesKey() {
        // The updater fetches the statements beside the list: with --out, from there.
        if (Exists(Join(o_.operand, release::kStatementFolder)) &&
            !Exists(Join(names_.folder, release::kStatementFolder))) {
            problem_ = "the key statements lie in \"" +
                       Join(o_.operand, release::kStatementFolder) +
                       "\", but updaters fetch them beside the list: copy them into \"" +
                       names_.folder + "\"";
            return false;
        }
        FolderChain chain = ReadFolderChain(names_.folder);
        auto refusal = chain.problem.empty() ? SignerRefusal(chain, KeyName(), key_->publicKey)
                                             : chain.problem;
        if (refusal) {
            problem_ = *refusal;
            key_.reset();
            return false;
        }
        statements_ = static_cast<std::uint32_t>(chain.statements.size());
        return true;
    }

    void Summary(const Plan& plan) {
        out_ << (o_.dryRun ? "dry run, nothing written: " : "") << names_.list << ": "
             << Count(plan.entries.size(), "entry", "entries") << " (" << plan.added.size()
             << " new, " << plan.changed.size() << " changed, " << plan.removed.size()
             << " removed, " << plan.shifted.size() << " shifted): operators fetch "
             << Count(plan.fetched, "file", "files") << "\n";
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
    std::string problem_;
    bool usage_ = false;
    std::optional<platform::P256KeyPair> key_;
    std::optional<std::uint32_t> wanted_;
    std::uint32_t number_ = 0;
    std::uint32_t statements_ = 0; // that lead updaters to the key
    std::optional<std::string> expires_;
};

} // namespace

int Publish(const Options& o, std::istream& in, std::ostream& out, std::ostream& err) {
    return PublishRun(o, in, out, err).Run();
}

} // namespace publish
