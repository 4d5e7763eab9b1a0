// The key statements of a release folder (filelist.keys/1.txt, 2.txt, ...), as rotate,
// publish and verify read them.
#pragma once

#include "release/KeyChain.h"

#include <optional>
#include <string>
#include <vector>

namespace publish {

struct FolderChain {
    std::vector<release::KeyStatement> statements; // numbered from 1, in order
    std::string problem;                           // why the chain is damaged; empty if it is not
};

// The folder's statements: numbered from 1 without a gap, each a statement within the size
// bound under its own number, each after the first signed as the one before allows (the
// first one's signer is the updaters' to judge: only they know their build-time keys).
FolderChain ReadFolderChain(const std::string& folder);

// Why key may not sign the folder's next release, or nothing: the last statement names
// another key as the signer. A folder without statements takes any key.
std::optional<std::string> SignerRefusal(const FolderChain& chain, const std::string& keyName,
                                         const platform::P256PublicKey& key);

// The key that signs the folder's releases for an updater built with the keys of builtIn:
// the release key after its statements are walked from there. Nothing, with the problem,
// when a statement is not one that updater takes.
std::optional<platform::P256PublicKey>
ChainedKey(const FolderChain& chain, const release::Trust& builtIn, std::string& problem);

} // namespace publish
