#include "Publish.h"

#include "Commit.h"
#include "Dates.h"
#include "Files.h"
#include "Json.h"
#include "KeyAccess.h"
#include "Numbering.h"
#include "Plan.h"
#include "PreviousRelease.h"
#include "ReleaseFolder.h"
#include "Signing.h"
#include "release/ReleaseFormat.h"

#include <filesystem>
#include <sstream>

namespace publish {

namespace {

// How many shifted entries, or files only their owner may read, are named one by one.
constexpr std::size_t kShiftsNamed = 10;

std::string Count(std::size_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
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
    PublishRun(const Options& o, std::istream& in, std::ostream& out, std::ostream& err,
               HashProgress* progress)
        : o_(o), in_(in), out_(o.json ? quiet_ : out), json_(out), err_(err), progress_(progress),
          names_(o.out.value_or(o.operand)) {}

    int Run() {
        if (Status prepared = Prepare(); !prepared) {
            return Report(prepared.failure(), "; nothing written");
        }
        if (!o_.dryRun) {
            if (Status recorded = Record(); !recorded) {
                return Report(recorded.failure(), "; nothing written");
            }
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
        PrintJson(kExitDone);
        return kExitDone;
    }

private:
    int Report(const Failure& failure, const char* outcome) {
        problems_.push_back(failure.problem + outcome);
        err_ << "quorvel-publish: " << failure.problem << outcome << "\n";
        if (failure.fault == Fault::Usage) {
            err_ << "Try 'quorvel-publish help publish'.\n";
        }
        PrintJson(ExitCode(failure.fault));
        return ExitCode(failure.fault);
    }

    // Everything a publish writes, worked out: the plan, the list and its signature.
    Status Prepare() {
        if (Status valid = ValuesValid(); !valid) {
            return valid;
        }
        // Before the signature beside the previous list is read.
        if (IsFolder(names_.signature)) {
            return Refusal("a folder is in the way of \"" + names_.signature + "\"");
        }
        auto previous = ReadPreviousRelease(PreviousListFile(o_, names_));
        if (!previous) {
            return previous.failure();
        }
        auto paths = Walk();
        if (!paths) {
            return paths.failure();
        }
        if (Status signing = Sign(*previous); !signing) {
            return signing;
        }
        auto files = Examined(*paths);
        if (!files) {
            return files.failure();
        }
        plan_ = MakePlan(previous->entries, *files);
        if (!plan_.shifted.empty() && !plan_.removed.empty() && !o_.allowShift) {
            return Refusal(ShiftRefusal(plan_));
        }
        list_ = release::WriteList(plan_.entries);
        if (!signing_) {
            return NoStaleSignature(names_, list_);
        }
        auto file = release::SignList(list_, signing_->number, signing_->key, expires_,
                                      signing_->statements);
        if (!file) {
            return Refusal("signing failed (do the halves of the key file belong together?)");
        }
        signature_ = release::WriteSignatureFile(*file);
        return Done{};
    }

    // The paths of the release, unless one of them, or the folder, is refused.
    Result<std::vector<std::string>> Walk() {
        if (IsFolder(names_.list)) {
            return Refusal("a folder is in the way of \"" + names_.list + "\"");
        }
        // A release's own list and signature are never listed, nor those being written.
        WalkRules rules{o_.excludes, OutputFileNames(), o_.page};
        if (auto inside = PathWithin(o_.operand, names_.folder); inside && !inside->empty()) {
            for (const auto& name : OutputFileNames()) {
                rules.outputs.push_back(*inside + "/" + name);
            }
        }
        ReleaseFiles found = WalkRelease(o_.operand, rules);
        for (const auto& s : found.skipped) {
            out_ << "skipped: " << s.path << " (" << s.why << ")\n";
            skipped_.push_back(s.path);
        }
        auto refused = release::RefusedReleasePaths(found.paths, o_.eightBitNames, o_.page);
        refused.insert(refused.begin(), found.refused.begin(), found.refused.end());
        if (!found.refused.empty() && found.paths.empty()) {
            refused.pop_back(); // "empty" says nothing more than why
        }
        for (std::size_t i = 0; i + 1 < refused.size(); ++i) {
            err_ << "quorvel-publish: refused: " << refused[i] << "\n";
            problems_.push_back("refused: " + refused[i]);
        }
        if (!refused.empty()) {
            return Refusal("refused: " + refused.back());
        }
        return found.paths;
    }

    // The files of the release, read whole, but private keys.
    Result<std::vector<FoundFile>> Examined(const std::vector<std::string>& paths) {
        if (progress_ != nullptr) {
            std::uint64_t bytes = 0;
            for (const auto& path : paths) {
                std::error_code ec;
                bytes += std::filesystem::file_size(Join(o_.operand, path), ec);
            }
            progress_->Begin(paths.size(), bytes);
        }
        std::vector<FoundFile> files;
        for (const auto& path : paths) {
            auto file = Examine(o_.operand, path, progress_);
            if (!file) {
                if (progress_ != nullptr) {
                    progress_->End();
                }
                return Failure{file.failure().fault, "\"" + path + "\": " + file.problem()};
            }
            if (file->privateKey || file->history) {
                const std::string warning =
                    "skipped: " + path + " (" +
                    (file->privateKey ? "a private key file" : "a release history") +
                    ": it is never listed, but a web server that serves this folder hands it "
                    "to anyone who asks; move it out)";
                err_ << "quorvel-publish: warning: " << warning << "\n";
                warnings_.push_back(warning);
            } else {
                files.push_back(*file);
            }
        }
        if (progress_ != nullptr) {
            progress_->End();
        }
        WarnOwnerOnly(files);
        if (files.empty()) {
            return Refusal("the release is empty: there is no file to publish");
        }
        return files;
    }

    // A listed file that only its owner may read is one a web server running as another
    // user cannot hand out (nginx answers 403): said, as verify URL would find it.
    void WarnOwnerOnly(const std::vector<FoundFile>& files) {
        std::vector<std::string> closed;
        for (const auto& f : files) {
            auto others = OthersWhoMayRead(Join(o_.operand, f.path));
            if (others && !*others) {
                closed.push_back(f.path);
            }
        }
        for (std::size_t i = 0; i < closed.size() && i < kShiftsNamed; ++i) {
            const std::string warning = "only its owner may read " + closed[i] +
                                        ": a web server that runs as another user cannot "
                                        "hand it out (verify URL checks what it serves)";
            err_ << "quorvel-publish: warning: " << warning << "\n";
            warnings_.push_back(warning);
        }
        if (closed.size() > kShiftsNamed) {
            const std::string more = "and " + std::to_string(closed.size() - kShiftsNamed) +
                                     " more files only their owner may read";
            err_ << "quorvel-publish: warning: " << more << "\n";
            warnings_.push_back(more);
        }
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

    // The key, checked against the previous release, and the number of a signed publish.
    Status Sign(const PreviousRelease& previous) {
        if (!o_.key) {
            return Done{};
        }
        auto signing = PrepareSigning(o_, in_, previous, names_, wanted_);
        if (!signing) {
            return signing.failure();
        }
        signing_ = std::move(*signing);
        return Done{};
    }

    // The signing goes into the release history before the release is put in place, so
    // that no published number is missing from it.
    Status Record() {
        if (!signing_) {
            return Done{};
        }
        newHistory_ = !signing_->history.Started();
        return RecordSigning(*signing_, list_);
    }

    void Summary() {
        const char* dry = o_.dryRun ? "dry run, nothing written: " : "";
        out_ << dry << names_.list << ": " << Count(plan_.entries.size(), "entry", "entries")
             << " (" << plan_.added.size() << " new, " << plan_.changed.size() << " changed, "
             << plan_.removed.size() << " removed, " << plan_.shifted.size()
             << " shifted): operators fetch " << Count(plan_.fetched, "file", "files") << ", "
             << Bytes(plan_.fetchedBytes) << "\n";
        if (signing_) {
            out_ << dry << names_.signature << ": release " << signing_->number << ", key ID "
                 << signing_->keyId << (expires_ ? ", expires " + *expires_ : "") << "\n";
            out_ << dry << "release history " << signing_->history.File()
                 << (newHistory_ ? " (started: back it up with the key)" : "") << "\n";
        }
    }

    void PrintJson(int exit) {
        if (!o_.json) {
            return;
        }
        const bool planned = exit == kExitDone;
        JsonObject fetch;
        fetch.Add("files", static_cast<std::uint64_t>(plan_.fetched))
            .Add("bytes", plan_.fetchedBytes);
        JsonObject object;
        object.Add("command", "publish")
            .Add("exit", static_cast<std::uint64_t>(exit))
            .Add("written", planned && !o_.dryRun)
            .Add("dryRun", o_.dryRun)
            .Add("list", names_.list)
            .Add("entries", static_cast<std::uint64_t>(planned ? plan_.entries.size() : 0))
            .Add("bytes", planned ? plan_.bytes : 0)
            .Add("new", static_cast<std::uint64_t>(plan_.added.size()))
            .Add("changed", static_cast<std::uint64_t>(plan_.changed.size()))
            .Add("removed", static_cast<std::uint64_t>(plan_.removed.size()))
            .Add("shifted", static_cast<std::uint64_t>(plan_.shifted.size()))
            .Add("fetch", fetch)
            .Add("release", planned && signing_ ? std::optional<std::uint64_t>(signing_->number)
                                                : std::nullopt)
            .Add("keyId", signing_ ? std::optional<std::string>(signing_->keyId) : std::nullopt)
            .Add("expires", expires_)
            .Add("history",
                 signing_ ? std::optional<std::string>(signing_->history.File()) : std::nullopt)
            .Add("skipped", skipped_)
            .Add("warnings", warnings_)
            .Add("problems", problems_);
        json_ << object.Text() << "\n";
    }

    const Options& o_;
    std::istream& in_;
    std::ostringstream quiet_; // what people read, left out with --json
    std::ostream& out_;
    std::ostream& json_;
    std::ostream& err_;
    HashProgress* progress_;
    OutputNames names_;
    std::optional<Signing> signing_;
    bool newHistory_ = false;
    std::optional<std::uint32_t> wanted_;
    std::optional<std::string> expires_;
    Plan plan_;
    std::string list_;
    std::optional<std::string> signature_;
    std::vector<std::string> skipped_;
    std::vector<std::string> warnings_;
    std::vector<std::string> problems_;
};

} // namespace

int Publish(const Options& o, std::istream& in, std::ostream& out, std::ostream& err,
            HashProgress* progress) {
    return PublishRun(o, in, out, err, progress).Run();
}

} // namespace publish
