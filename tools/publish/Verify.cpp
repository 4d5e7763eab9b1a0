#include "Verify.h"

#include "Commit.h"
#include "Dates.h"
#include "Files.h"
#include "ReleaseFolder.h"
#include "release/ReleaseFormat.h"

namespace publish {

namespace {

// Whether one listed file is there as its entry states it.
Status EntryHolds(const std::string& folder, const release::ListEntry& e) {
    auto expected = release::StampDigest(e.stamp);
    auto size = release::StampSize(e.stamp);
    if (auto why = release::RefusedListPath(e.path)) {
        return Refusal(*why);
    }
    if (!expected) {
        return Refusal("its stamp has no content hash");
    }
    if (!Exists(Join(folder, e.path))) {
        return Refusal("listed but missing");
    }
    auto found = Examine(folder, e.path);
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

} // namespace

int Verify(const Options& o, std::ostream& out, std::ostream& err) {
    const std::string& folder = o.operand;
    auto key = release::ParsePublicKey(*o.publicKey);
    if (!key) {
        err << "quorvel-publish: --public takes the 128 hex digits keygen printed\n"
            << "Try 'quorvel-publish help verify'.\n";
        return 2;
    }
    OutputNames names(o.out.value_or(folder));
    auto list = ReadFile(names.list, kMaxListRead);
    if (!list) {
        err << "quorvel-publish: " << list.problem() << "\n";
        return 1;
    }
    auto signature = ReadFile(names.signature, release::kMaxSignatureFileSize);
    if (!signature) {
        err << "quorvel-publish: " << signature.problem() << "\n";
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
        if (Status holds = EntryHolds(folder, e); !holds) {
            err << "quorvel-publish: \"" << e.path << "\": " << holds.problem() << "\n";
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
