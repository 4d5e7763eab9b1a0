#include "Verify.h"

#include "Commit.h"
#include "Dates.h"
#include "Files.h"
#include "HttpGet.h"
#include "Json.h"
#include "ReleaseFolder.h"
#include "release/KeyId.h"
#include "release/ReleaseFormat.h"

#include <memory>
#include <sstream>

namespace publish {

namespace {

// Where a release is checked: its folder on disk, or the server operators fetch it from.
class ReleaseSource {
public:
    virtual ~ReleaseSource() = default;
    // The list or the signature, whole.
    virtual Result<std::string> Read(const std::string& name, std::uint64_t limit) = 0;
    // The size and hash of a listed file as operators would receive it.
    virtual Result<FoundFile> Receive(const std::string& path) = 0;
    // What must not be handed out but is (names beginning with "." and the like).
    virtual std::vector<std::string> ServedSecrets() { return {}; }
    virtual std::string What() const = 0;
};

class FolderSource : public ReleaseSource {
public:
    FolderSource(const std::string& folder, const std::string& outputs)
        : folder_(folder), names_(outputs) {}
    Result<std::string> Read(const std::string& name, std::uint64_t limit) override {
        return ReadFile(name == release::kListName ? names_.list : names_.signature, limit);
    }
    Result<FoundFile> Receive(const std::string& path) override {
        if (!Exists(Join(folder_, path))) {
            return Refusal("listed but missing");
        }
        return Examine(folder_, path);
    }
    std::string What() const override { return names_.signature; }

private:
    std::string folder_;
    OutputNames names_;
};

// Names a web server must not hand out: the key and history under the names the README
// gives them, the tool's own temporary files, and the usual names beginning with "." (a
// server that refuses those refuses every such name).
const char* const kNeverServed[] = {"maker.key",
                                    "maker.key.history",
                                    "filelist.txt.tmp",
                                    "filelist.txt.sig.tmp",
                                    "filelist.txt.old",
                                    ".git/HEAD",
                                    ".git/config",
                                    ".DS_Store",
                                    ".env",
                                    ".htaccess",
                                    ".htpasswd",
                                    ".ssh/id_rsa"};

class ServerSource : public ReleaseSource {
public:
    explicit ServerSource(Url base) : base_(std::move(base)) {}
    Result<std::string> Read(const std::string& name, std::uint64_t limit) override {
        std::string body;
        auto got = HttpGet(Below(base_, name), limit,
                           [&](const char* bytes, std::size_t size) { body.append(bytes, size); });
        if (!got) {
            return got.failure();
        }
        return body;
    }
    Result<FoundFile> Receive(const std::string& path) override {
        FoundFile found;
        found.path = path;
        platform::Sha256 hash;
        auto got =
            HttpGet(Below(base_, path), UINT64_MAX, [&](const char* bytes, std::size_t size) {
                hash.Update(bytes, size);
                found.size += size;
            });
        if (!got) {
            return Failure{got.failure().fault, got.problem()};
        }
        auto digest = hash.Finish();
        if (!digest) {
            return IoFailure("its hash could not be had");
        }
        found.digest = *digest;
        return found;
    }
    std::vector<std::string> ServedSecrets() override {
        std::vector<std::string> served;
        for (const char* name : kNeverServed) {
            auto status = HttpStatus(Below(base_, name));
            if (status && *status == 200) {
                served.push_back(name);
            }
        }
        return served;
    }
    std::string What() const override { return Text(Below(base_, release::kSignatureName)); }

private:
    Url base_;
};

// Whether one listed file arrives as its entry states it.
Status EntryHolds(ReleaseSource& source, const release::ListEntry& e) {
    auto expected = release::StampDigest(e.stamp);
    auto size = release::StampSize(e.stamp);
    if (auto why = release::RefusedListPath(e.path)) {
        return Refusal(*why);
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
        auto key = release::ParsePublicKey(*o_.publicKey);
        if (!key) {
            return Finish(
                Failure{Fault::Usage, "--public takes the 128 hex digits keygen printed"});
        }
        keyId_ = release::KeyId(*key);
        auto source = Source();
        if (!source) {
            return Finish(source.failure());
        }
        return Finish(Check(**source, *key));
    }

private:
    Result<std::unique_ptr<ReleaseSource>> Source() {
        const std::string& operand = o_.operand;
        // A folder's name holds no "://" (Windows takes no ":" past the drive).
        if (operand.find("://") == std::string::npos) {
            return std::unique_ptr<ReleaseSource>(
                std::make_unique<FolderSource>(operand, o_.out.value_or(operand)));
        }
        if (o_.out) {
            return Failure{Fault::Usage, "--out applies to a release folder, not to a URL"};
        }
        auto url = ParseUrl(operand);
        if (!url) {
            return url.failure();
        }
        return std::unique_ptr<ReleaseSource>(std::make_unique<ServerSource>(*url));
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
            if (Status holds = EntryHolds(source, e); !holds) {
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
