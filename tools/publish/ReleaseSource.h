// Where verify reads a release: its folder on disk, or the server operators fetch it from.
#pragma once

#include "Plan.h"
#include "Result.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace publish {

class ReleaseSource {
public:
    virtual ~ReleaseSource() = default;
    // The list or the signature, whole.
    virtual Result<std::string> Read(const std::string& name, std::uint64_t limit) = 0;
    // The size and hash of a listed file as operators would receive it.
    virtual Result<FoundFile> Receive(const std::string& path) = 0;
    // What must not be handed out but is (names beginning with "." and the like).
    virtual std::vector<std::string> ServedSecrets() { return {}; }
    // The signature file, as messages name it.
    virtual std::string What() const = 0;
};

// The folder (with its list and signature in out, when given), or the http:// URL.
Result<std::unique_ptr<ReleaseSource>> OpenSource(const std::string& operand,
                                                  const std::optional<std::string>& out);

} // namespace publish
