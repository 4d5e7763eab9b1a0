#include "Verify.h"

#include "Commit.h"
#include "Dates.h"
#include "Files.h"
#include "Json.h"
#include "KeyChainFolder.h"
#include "Progress.h"
#include "ReleaseSource.h"
#include "release/KeyId.h"
#include "release/ListPaths.h"
#include "release/ReleaseFormat.h"

#include <memory>
#include <sstream>

namespace publish {

namespace {

// Whether one listed file arrives as its entry states it.
Status EntryHolds(ReleaseSource& source, const release::ListEntry& e,
                  const release::CodePage& page) {
    auto expected = release::StampDigest(e.stamp);
    auto size = release::StampSize(e.stamp);
    if (auto why = release::RefusedListPath(e.path, page)) {
        return Refusal(*why + release::CodePageRead(e.path, page));
    }
    if (!expected) {
        return Refusal("its stamp has no content hash");
    }
    auto found = source.Receive(e.path);
    if (!found) {
        return found.failure();
    }
    if (size && *size != found->size) {
        return Refusal("its size is " + std::to_string(found->size) + " bytes, not the " +
                       std::to_string(*size) + " listed");
    }
    if (found->digest != *expected) {
        return Refusal("its content is not the one listed");
    }
    return Done{};
}

class VerifyRun {
public:
    VerifyRun(const Options& o, std::ostream& out, std::ostream& err)
        : o_(o), out_(o.json ? quiet_ : out), json_(out), err_(err) {}

    int Run() {
        auto builtIn = release::BuildTimeTrust(*o_.publicKey);
        if (!builtIn) {
            return Finish(Failure{Fault::Usage,
                                  "--public takes the 128 hex digits keygen printed (the keys "
                                  "updaters are built with: several separated by commas)"});
        }
        auto source = OpenSource(o_.operand, o_.out);
        if (!source) {
            return Finish(source.failure());
        }
        auto key = KeyOfChain(**source, *builtIn);
        if (!key) {
            return Finish(key.failure());
        }
        keyId_ = release::KeyId(*key);
        return Finish(Check(**source, *key));
    }

private:
    // The key the release must be signed with for updaters built with the keys of --public:
    // the one the folder's key statements lead to from them. Through a server, the
    // statements are not walked: the first build-time key is the one checked.
    Result<platform::P256PublicKey> KeyOfChain(const ReleaseSource& source,
                                               const release::Trust& builtIn) {
        if (source.What().find("://") != std::string::npos) {
            return builtIn.releaseKey;
        }
        auto chain = ReadFolderChain(OutputNames(o_.out.value_or(o_.operand)).folder);
        if (!chain) {
            return chain.failure();
        }
        return ChainedKey(*chain, builtIn);
    }

    Status Check(ReleaseSource& source, const platform::P256PublicKey& key) {
        auto list = source.Read(release::kListName, kMaxListRead);
        if (!list) {
            return list.failure();
        }
        auto signature = source.Read(release::kSignatureName, release::kMaxSignatureFileSize);
        if (!signature) {
            return signature.failure();
        }
        std::uint32_t number = 0;
        switch (release::CheckSignature(*list, *signature, key, &number)) {
        case release::Verdict::Good:
            break;
        case release::Verdict::Malformed:
            return Damage(source.What() + " is damaged");
        case release::Verdict::BadSignature:
            return Refusal(source.What() + " was not made with this key's private half (key ID " +
                           keyId_ + ")");
        case release::Verdict::OtherList:
            return Damage(source.What() + " signs another list, not " +
                          (o_.out || source.What().find("://") != std::string::npos
                               ? std::string(release::kListName)
                               : OutputNames(o_.operand).list));
        }
        release_ = number;
        auto file = release::ParseSignatureFile(*signature);
        expires_ = file->expires;
        if (release::Expired(*file, Today())) {
            return Refusal("release " + std::to_string(number) + " expired on " + *file->expires +
                           ": protected updaters refuse it; publish again");
        }
        auto entries = release::ParseList(*list);
        files_ = entries.size();
        for (const auto& e : entries) {
            if (Status holds = EntryHolds(source, e, o_.page); !holds) {
                Problem("\"" + e.path + "\": " + holds.problem(), holds.failure().fault);
                ++bad_;
            } else {
                bytes_ += release::StampSize(e.stamp).value_or(0);
            }
        }
        for (const auto& name : source.ServedSecrets()) {
            Problem("\"" + name +
                        "\" is served, and must not be (deny names beginning with \".\" and keep "
                        "the tool's temporary files and keys out)",
                    Fault::Refused);
        }
        if (bad_ > 0) {
            return Failure{*worst_, std::to_string(bad_) + " of " + std::to_string(entries.size()) +
                                        " entries are wrong"};
        }
        if (problems_.size() > 0) {
            return Failure{*worst_, "the server hands out what it must not"};
        }
        out_ << "release " << number << ": signature good (key ID " << keyId_ << ")"
             << (expires_ ? ", expires " + *expires_ : std::string()) << ", "
             << (entries.size() == 1 ? std::string("1 file present with its size and hash")
                                     : std::to_string(entries.size()) +
                                           " files present with their sizes and hashes")
             << ", " << Bytes(bytes_) << "\n";
        return Done{};
    }

    static std::optional<Fault> Worse(const std::optional<Fault>& worst, Fault fault) {
        // An input/output failure says the check is not finished; it outranks a refusal.
        return worst == Fault::InputOutput ? worst : std::optional<Fault>(fault);
    }

    void Problem(const std::string& problem, Fault fault) {
        err_ << "quorvel-publish: " << problem << "\n";
        problems_.push_back(problem);
        worst_ = Worse(worst_, fault);
    }

    int Finish(const Status& done) {
        const int exit = done ? kExitDone : ExitCode(done.failure().fault);
        if (!done) {
            err_ << "quorvel-publish: " << done.problem() << "\n";
            if (done.failure().fault == Fault::Usage) {
                err_ << "Try 'quorvel-publish help verify'.\n";
            }
            problems_.push_back(done.problem());
        }
        if (o_.json) {
            JsonObject object;
            object.Add("command", "verify")
                .Add("exit", static_cast<std::uint64_t>(exit))
                .Add("good", exit == kExitDone)
                .Add("release", release_ ? std::optional<std::uint64_t>(*release_) : std::nullopt)
                .Add("keyId", keyId_.empty() ? std::optional<std::string>() : keyId_)
                .Add("expires", expires_)
                .Add("files", static_cast<std::uint64_t>(files_))
                .Add("bytes", bytes_)
                .Add("wrong", static_cast<std::uint64_t>(bad_))
                .Add("problems", problems_);
            json_ << object.Text() << "\n";
        }
        return exit;
    }

    const Options& o_;
    std::ostringstream quiet_;
    std::ostream& out_;
    std::ostream& json_;
    std::ostream& err_;
    std::string keyId_;
    std::optional<std::uint32_t> release_;
    std::optional<std::string> expires_;
    std::size_t files_ = 0;
    std::uint64_t bytes_ = 0;
    std::size_t bad_ = 0;
    std::optional<Fault> worst_;
    std::vector<std::string> problems_;
};

} // namespace

int Verify(const Options& o, std::ostream& out, std::ostream& err) {
    return VerifyRun(o, out, err).Run();
}

} // namespace publish
