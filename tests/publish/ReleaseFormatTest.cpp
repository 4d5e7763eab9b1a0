// The release format shared by the release tool and the protected updater.
#include "release/ReleaseFormat.h"
#include "release/Applicable.h"
#include "release/Hex.h"
#include "release/KeyChain.h"
#include "release/KeyId.h"
#include "release/ListPaths.h"
#include "transfer/Transfer.h"

#include <gtest/gtest.h>

namespace {

struct Refusal {
    std::string path;
    std::string why; // part of the reason given
};

TEST(ReleaseFormat, ListPathsTheUpdaterCannotInstallAreRefused) {
    const Refusal refused[] = {
        {".", "dots"},
        {"..", "dots"},
        {"../outside.dll", "dots"},
        {"bin/./a.dll", "dots"},
        {"bin/../../a.dll", "dots"},
        {"/root.dll", "empty"},
        {"bin//a.dll", "empty"},
        {"bin/", "empty"},
        {"", "empty"},
        {"c:evil.dll", "':'"},
        {"bin\\a.dll", "backslash"},
        {"a\tb.dll", "TAB"},
        {std::string("a\rb"), "control"},
        {std::string("a\nb"), "control"},
        {std::string("a\x01"), "control"},
        {"a?.dll", "'?'"},
        {"a*.dll", "'*'"},
        {"CON", "device"},
        {"bin/nul.txt", "device"},
        {"Com1.dll", "device"},
        {"lpt9", "device"},
        {"AUX.tar.gz", "device"},
        {"trailing.", "ending in a dot"},
        {"trailing /a.dll", "ending in a dot or a blank"},
        {std::string(201, 'a'), "201 characters"},
        {"COM0", "device"},
        {"lpt0.txt", "device"},
        {"COM\xB9", "device"},
        {"bin/LPT\xB3.log", "device"},
        {"PelmoraUpdaterList.txt", "updater uses"},
        {"pelmoraupdaterrelease.sig", "updater uses"},
        {"PelmoraUpdaterRun.txt", "updater uses"},
        {"bin/PelmoraUpdaterList.sig", "updater uses"},
        {"data/pelmoraupdaterkeys.TXT", "updater uses"},
        {"PelmoraUpdaterParts/0.part", "updater uses"},
        {"temp1234.$$$/x.dll", "updater uses"},
        {"UpdateBackup/old.dll", "updater uses"},
        {"updatebackup", "updater uses"},
    };
    for (const auto& r : refused) {
        auto why = release::RefusedListPath(r.path);
        ASSERT_TRUE(why.has_value()) << "\"" << r.path << "\"";
        EXPECT_NE(why->find(r.why), std::string::npos) << "\"" << r.path << "\": " << *why;
    }
    const std::string accepted[] = {"Pelmora.exe", "bin/core.dll",        "a b/c d.txt",
                                    "console.dll", "data/maps/w.dat",     "COM10",
                                    ".hidden",     std::string(200, 'a'), "bin/UpdateBackup/x.dll",
                                    "COM\xB4",     "UpdateBackups/x.dll", "temp1234.$$"};
    for (const auto& path : accepted) {
        EXPECT_EQ(release::RefusedListPath(path), std::nullopt) << "\"" << path << "\"";
    }
}

// Whatever the updater refuses as a file or folder name, the tool refuses too, in the code
// page both read names in; a double-byte name the updater takes, the tool takes too.
TEST(ReleaseFormat, ToolRefusesEveryNameTheUpdaterRefuses) {
    const std::string po = "\x83\x7c", so = "\x83\x5c"; // Shift-JIS: '|' and '\' second bytes
    std::vector<std::string> names = {".",   "..",   "...",    " ",       ". .",    "a:b",
                                      "a<b", "a>b",  "a\"b",   "a|b",     "a?b",    "a*b",
                                      "a/b", "a\\b", "|" + po, so + "\\", po + "*", so + "/" + so};
    for (int c = 1; c < 32; ++c) {
        names.push_back(std::string("a") + static_cast<char>(c));
    }
    for (const unsigned number : {1252u, 932u}) {
        SCOPED_TRACE(number);
        const release::CodePage page = *release::KnownCodePage(number);
        for (const auto& name : names) {
            ASSERT_TRUE(release::RefusedLevelName(name, page)) << "\"" << name << "\"";
            if (page.Find(name, "/") == std::string::npos) {
                EXPECT_TRUE(release::RefusedListPath(name, page).has_value()) << name;
                EXPECT_TRUE(release::RefusedListPath("bin/" + name, page).has_value()) << name;
            }
        }
        for (const std::string& name : {po, so, "a" + po + ".dll", so + so + " x"}) {
            EXPECT_EQ(release::RefusedLevelName(name, page), number == 1252) << name;
            EXPECT_EQ(release::RefusedListPath(name + "/" + name, page).has_value(), number == 1252)
                << name;
        }
    }
}

TEST(ReleaseFormat, StampsCarryTheirHashAtTheEndOnly) {
    const std::string hex(64, 'a');
    auto digest = release::FromHex<32>(hex);
    ASSERT_TRUE(digest.has_value());
    EXPECT_EQ(release::MakeStamp("2026-12-09", *digest), "2026-12-09\tsha256=" + hex);
    EXPECT_EQ(release::StampDigest("2026-12-09\tsha256=" + hex), digest);
    EXPECT_EQ(release::StampDigest("sha256=" + hex), digest);
    const std::string withoutHash[] = {
        "2026-12-09",
        "2026-12-09\tsha256=" + hex.substr(1),
        "2026-12-09\tsha256=" + hex + "0",
        "2026-12-09\tsha256=" + std::string(63, 'a') + "A",
        "2026-12-09\tsha256=" + std::string(63, 'a') + "g",
        "2026-12-09 sha256=" + hex,
        "2026-12-09\tsha256=" + hex + "\t",
        "2026-12-09\tSHA256=" + hex,
    };
    for (const auto& stamp : withoutHash) {
        EXPECT_EQ(release::StampDigest(stamp), std::nullopt) << stamp;
    }
    // The sized form: the size after the hash; the older form states none.
    EXPECT_EQ(release::MakeStamp("2026-12-09", *digest, 1048576),
              "2026-12-09\tsha256=" + hex + "\tsize=1048576");
    EXPECT_EQ(release::StampSize("2026-12-09\tsha256=" + hex + "\tsize=0"), 0u);
    EXPECT_EQ(release::StampDigest("2026-12-09\tsha256=" + hex + "\tsize=7"), digest);
    EXPECT_EQ(release::StampSize("2026-12-09\tsha256=" + hex), std::nullopt);
    EXPECT_EQ(release::StampSize("x\tsize=5"), std::nullopt) << "no hash, no size";
    for (const char* size : {"", "01", "-1", "1x", " 1", "9223372036854775808"}) {
        const std::string stamp = "2026-12-09\tsha256=" + hex + "\tsize=" + size;
        EXPECT_EQ(release::StampDigest(stamp), std::nullopt) << stamp;
        EXPECT_EQ(release::StampSize(stamp), std::nullopt) << stamp;
    }
    EXPECT_EQ(release::StampSize("d\tsha256=" + hex + "\tsize=9223372036854775807"),
              9223372036854775807u);
}

TEST(ReleaseFormat, SignatureFilesAreReadOneWayOnly) {
    release::SignatureFile file;
    file.release = 42;
    file.listDigest.fill(0x11);
    file.listSize = 3000;
    file.expires = "2028-02-29";
    file.signature.fill(0x22);
    file.keyId = "0123456789abcdef";
    file.statements = 3;
    release::SignatureFile v2 = file;
    v2.version = 2;
    v2.keyId.reset();
    v2.statements = 0;
    release::SignatureFile old = v2;
    old.version = 1;
    old.listSize.reset();
    old.expires.reset();
    release::SignatureFile longest = file;
    longest.release = release::kMaxReleaseNumber;
    longest.statements = release::kMaxStatementNumber;
    longest.listSize = 9223372036854775807u;
    EXPECT_EQ(release::WriteSignatureFile(longest).size(), 365u);
    for (const auto& f : {file, v2, old, longest}) {
        auto back = release::ParseSignatureFile(release::WriteSignatureFile(f));
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(back->version, f.version);
        EXPECT_EQ(back->release, f.release);
        EXPECT_EQ(back->listDigest, f.listDigest);
        EXPECT_EQ(back->listSize, f.listSize);
        EXPECT_EQ(back->expires, f.expires);
        EXPECT_EQ(back->signature, f.signature);
        EXPECT_EQ(back->keyId, f.keyId);
        EXPECT_EQ(back->statements, f.statements);
    }
    const std::string text = release::WriteSignatureFile(file);
    EXPECT_EQ(text.substr(0, 81), "quorvel-release-signature 3\r\nkey 0123456789abcdef\r\n"
                                  "key-statements 3\r\nrelease 42\r\n");
    EXPECT_NE(text.find("\r\nlist-size 3000\r\nexpires 2028-02-29\r\nsignature "),
              std::string::npos);

    auto replace = [&](const std::string& from, const std::string& to) {
        std::string t = text;
        t.replace(t.find(from), from.size(), to);
        return t;
    };
    const std::string damaged[] = {
        "",
        text + "extra\r\n",
        text.substr(0, text.size() - 2),
        replace("release 42", "release 042"),
        replace("release 42", "release 0"),
        replace("release 42", "release -4"),
        replace("release 42", "release 1000000000"),
        replace("release 42", "release  42"),
        replace("quorvel-release-signature 3", "quorvel-release-signature 4"),
        replace("quorvel-release-signature 3", "quorvel-release-signature 2"),
        replace("key 0123456789abcdef\r\n", ""),
        replace("key 0123456789abcdef", "key 0123456789ABCDEF"),
        replace("key 0123456789abcdef", "key 0123456789abcde"),
        replace("key-statements 3", "key-statements 03"),
        replace("key-statements 3\r\n", ""),
        replace("\r\nrelease", "\nrelease"),
        replace("list-sha256 11", "list-sha256 1"),
        replace("list-size 3000\r\n", ""),
        replace("list-size 3000", "list-size 03000"),
        replace("2028-02-29", "2027-02-29"),
        replace("2028-02-29", "2028-13-01"),
        replace("list-size 3000\r\nexpires 2028-02-29", "expires 2028-02-29\r\nlist-size 3000"),
        replace("quorvel-release-signature 3", "quorvel-release-signature 1"),
        replace("signature 22", "signature 2"),
        replace("signature 22", "signatur 22"),
        std::string(600, 'x'),
        text + std::string(release::kMaxSignatureFileSize, ' '),
    };
    for (const auto& t : damaged) {
        EXPECT_EQ(release::ParseSignatureFile(t), std::nullopt) << t;
    }
    // Valid through its day.
    EXPECT_FALSE(release::Expired(file, "2028-02-29"));
    EXPECT_TRUE(release::Expired(file, "2028-03-01"));
    EXPECT_FALSE(release::Expired(old, "9999-12-31"));
}

TEST(ReleaseFormat, KeyFilesRoundTripAndSignaturesCheck) {
    auto key = platform::GenerateP256();
    ASSERT_TRUE(key.has_value());
    auto back = release::ParseKeyFile(release::WriteKeyFile(*key));
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(back->privateKey, key->privateKey);
    EXPECT_EQ(back->publicKey, key->publicKey);
    EXPECT_EQ(release::ParseKeyFile("quorvel-private-key 1\r\nprivate 00\r\npublic 00\r\n"),
              std::nullopt);

    const std::string list = "a\t2026-12-09\tsha256=" + std::string(64, '0') + "\r\n";
    auto signature = release::SignList(list, 7, *key);
    ASSERT_TRUE(signature.has_value());
    const std::string text = release::WriteSignatureFile(*signature);
    std::uint32_t number = 0;
    EXPECT_EQ(release::CheckSignature(list, text, key->publicKey, &number), release::Verdict::Good);
    EXPECT_EQ(number, 7u);
    EXPECT_EQ(release::CheckSignature(list + "b\t1\r\n", text, key->publicKey, nullptr),
              release::Verdict::OtherList);
    auto other = platform::GenerateP256();
    EXPECT_EQ(release::CheckSignature(list, text, other->publicKey, nullptr),
              release::Verdict::BadSignature);
    // The number is covered: raised by hand, the signature no longer holds.
    std::string raised = text;
    raised.replace(raised.find("release 7"), 9, "release 8");
    EXPECT_EQ(release::CheckSignature(list, raised, key->publicKey, nullptr),
              release::Verdict::BadSignature);
    // The size and the expiry are covered too.
    auto dated = release::SignList(list, 7, *key, std::string("2027-01-31"));
    ASSERT_TRUE(dated.has_value());
    for (const auto& [from, to] : std::vector<std::pair<std::string, std::string>>{
             {"expires 2027-01-31", "expires 2099-01-31"},
             {"list-size " + std::to_string(list.size()), "list-size 1"},
             {"key-statements 0", "key-statements 1"}}) {
        std::string changed = release::WriteSignatureFile(*dated);
        changed.replace(changed.find(from), from.size(), to);
        EXPECT_EQ(release::CheckSignature(list, changed, key->publicKey, nullptr),
                  release::Verdict::BadSignature)
            << to;
    }
    EXPECT_EQ(release::SignList(list, 7, *key, std::string("2027-02-30")), std::nullopt);
    // Halves of two keys: nothing is signed.
    platform::P256KeyPair mixed{key->privateKey, other->publicKey};
    EXPECT_EQ(release::SignList(list, 1, mixed), std::nullopt);
}

// A statement reads one way only, within its bound, and is the next step only when numbered
// so, vouched for by a trusted key and accepted by the key it names.
TEST(ReleaseFormat, KeyStatementsAreReadOneWayOnlyAndChecked) {
    std::vector<platform::P256KeyPair> k(10);
    std::vector<platform::P256PublicKey> keys;
    for (auto& key : k) {
        key = *platform::GenerateP256();
        keys.push_back(key.publicKey);
    }
    const std::string a = release::ToHex(keys[0]), b = release::ToHex(keys[1]);
    auto trust = release::BuildTimeTrust(a + "," + b);
    ASSERT_TRUE(trust && trust->releaseKey == keys[0] && trust->statementKeys.size() == 2);
    for (const auto& bad : {std::string(), a + ",", "," + a, a + ";" + b, a.substr(1)}) {
        EXPECT_EQ(release::BuildTimeTrust(bad), std::nullopt) << bad;
    }
    const std::vector<platform::P256PublicKey> eight(keys.begin() + 2, keys.end()),
        nine(keys.begin() + 1, keys.end()), twice = {keys[2], keys[2]};
    auto longest = release::MakeKeyStatement(release::kMaxStatementNumber, k[1], k[2], eight);
    EXPECT_EQ(release::WriteKeyStatement(*longest).size(), 1651u);
    EXPECT_EQ(release::MakeKeyStatement(1, k[0], k[1], nine), std::nullopt);
    EXPECT_EQ(release::MakeKeyStatement(1, k[0], k[1], twice), std::nullopt);

    const std::string text =
        release::WriteKeyStatement(*release::MakeKeyStatement(1, k[1], k[2], {}));
    auto replace = [&](const std::string& from, const std::string& to) {
        std::string t = text;
        return t.replace(t.find(from), from.size(), to);
    };
    const std::string last = text.substr(text.rfind("signature "));
    for (const auto& damaged :
         {text + "x", text.substr(0, text.size() - 2), replace("number 1", "number 01"),
          replace("number 1", "number 0"), replace("statement 1", "statement 2"),
          replace("\r\nnumber", "\nnumber"), text.substr(0, text.size() - last.size()), text + last,
          replace("statement-key", "statement-keys"),
          replace("signature " + release::KeyId(keys[1]), "signature 0123"),
          text + std::string(release::kMaxStatementFileSize, ' ')}) {
        EXPECT_EQ(release::NextStep(*trust, damaged).verdict, release::StepVerdict::Damaged)
            << damaged;
    }
    std::string notAccepted = text;
    notAccepted[text.size() - 3] = text[text.size() - 3] == '0' ? '1' : '0';
    release::Trust second = *trust;
    second.number = 1;
    using V = release::StepVerdict;
    EXPECT_EQ(release::NextStep(*trust, text).verdict, V::Accepted);
    EXPECT_EQ(release::NextStep(second, text).verdict, V::OtherNumber);
    EXPECT_EQ(release::NextStep(*release::BuildTimeTrust(a), text).verdict, V::NotVouched);
    EXPECT_EQ(release::NextStep(*trust, notAccepted).verdict, V::NotAccepted);
}

} // namespace
