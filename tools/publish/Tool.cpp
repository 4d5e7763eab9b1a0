#include "Tool.h"

#include "CommandLine.h"
#include "Keys.h"
#include "Publish.h"
#include "Rotate.h"
#include "Verify.h"

namespace publish {

int RunTool(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
            std::ostream& err, HashProgress* progress) {
    CommandLine line = ParseCommandLine(args);
    if (line.help) {
        out << HelpText(line.helpFor);
        return 0;
    }
    if (line.version) {
        out << "quorvel-publish " << QUORVEL_PUBLISH_VERSION << "\n";
        return 0;
    }
    if (!line.options) {
        err << "quorvel-publish: " << line.error << "\n"
            << "Try 'quorvel-publish " << (line.helpFor.empty() ? "--help" : "help " + line.helpFor)
            << "'.\n";
        return 2;
    }
    const Options& o = *line.options;
    if (o.command == "keygen") {
        return Keygen(o, out, err);
    }
    if (o.command == "public") {
        return PrintPublicKey(o, in, out, err);
    }
    if (o.command == "publish") {
        return Publish(o, in, out, err, progress);
    }
    if (o.command == "rotate") {
        return Rotate(o, in, out, err);
    }
    return Verify(o, out, err);
}

} // namespace publish
