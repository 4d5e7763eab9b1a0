#include "Verify.h"

#include "Commit.h"
#include "Dates.h"
#include "Files.h"
#include "KeyChainFolder.h"
#include "ReleaseFolder.h"
#include "release/ReleaseFormat.h"

namespace publish {

namespace {

// What is wrong with one listed file, or nothing.
std::optional<std::string> EntryProblem(const std::string& folder, const release::ListEntry& e) {
    auto expected = release::StampDigest(e.stamp);
    auto size = release::StampSize(e.stamp);
    if (auto why = release::RefusedListPath(e.path)) {
        return *why;
    }
    if (!expected) {
        return std::string("its stamp has no content hash");
    }
    if (!Exists(Join(folder, e.path))) {
        return std::string("listed but missing");
    }
    std::string problem;
    auto found = Examine(folder, e.path, problem);
    if (!found) {
        return problem;
    }
    if (size && *size != found->size) {
        return "its size is " + std::to_string(found->size) + " bytes, not the " +
               std::to_string(*size) + " listed";
    }
    if (found->digest != *expected) {
        return std::string("its content is not the one listed");
    }
    return std::nullopt;
}

// The key the release must be signed with for updaters built with the keys of --public:
// the one the folder's key statements lead to from them.
std::optional<platform::P256PublicKey>
KeyOfChain(const std::string& folder, const release::Trust& builtIn, std::ostream& err) {
    FolderChain chain = ReadFolderChain(folder);
    std::string problem = chain.problem;
    auto key = problem.empty() ? ChainedKey(chain, builtIn, problem) : std::nullopt;
    if (!key) {
        err << "quorvel-publish: " << problem << "\n";
    }
    return key;
}

} // namespace

int Verify(const Options& o, std::ostream& out, std::ostream& err) {
    const std::string& folder = o.operand;
    auto builtIn = release::BuildTimeTrust(*o.publicKey);
    if (!builtIn) {
        err << "quorvel-publish: --public takes the 128 hex digits keygen printed (the keys "
               "updaters are built with: several separated by commas)\n"
            << "Try 'quorvel-publish help verify'.\n";
        return 2;
    }
    OutputNames names(o.out.value_or(folder));
    auto key = KeyOfChain(names.folder, *builtIn, err);
    if (!key) {
        return 1;
    }
    std::string problem;
    auto list = ReadFile(names.list, kMaxListRead, problem);
    auto signature =
        list ? ReadFile(names.signature, release::kMaxSignatureFileSize, problem) : std::nullopt;
    if (!signature) {
        err << "quorvel-publish: " << problem << "\n";
        return 1;
    }
    std::uint32_t number = 0;
    switch (release::CheckSignature(*list, *signature, *key, &number)) {
    case release::Verdict::Good:
        break;
    case release::Verdict::Malformed:
        err << "quorvel-publish: " << names.signature << " is damaged\n";
        return 1;
    case release::Verdict::BadSignature:
        err << "quorvel-publish: " << names.signature
            << " was not made with this key's private half\n";
        return 1;
    case release::Verdict::OtherList:
        err << "quorvel-publish: " << names.signature << " signs another list, not " << names.list
            << "\n";
        return 1;
    }
    auto file = release::ParseSignatureFile(*signature);
    const std::string today = Today();
    if (release::Expired(*file, today)) {
        err << "quorvel-publish: release " << number << " expired on " << *file->expires
            << ": protected updaters refuse it; publish again\n";
        return 1;
    }
    int bad = 0;
    auto entries = release::ParseList(*list);
    for (const auto& e : entries) {
        if (auto why = EntryProblem(folder, e)) {
            err << "quorvel-publish: \"" << e.path << "\": " << *why << "\n";
            ++bad;
        }
    }
    if (bad > 0) {
        err << "quorvel-publish: " << bad << " of " << entries.size() << " entries are wrong\n";
        return 1;
    }
    out << "release " << number << ": signature good"
        << (file->expires ? ", expires " + *file->expires : std::string()) << ", "
        << (entries.size() == 1
                ? std::string("1 file present with its size and hash")
                : std::to_string(entries.size()) + " files present with their sizes and hashes")
        << "\n";
    return 0;
}

} // namespace publish
