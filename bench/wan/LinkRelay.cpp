// A slow link between two network interfaces, for the WAN benchmark: every Ethernet frame
// that arrives on one is sent out of the other after the line's delay, at the line's rate,
// and with the line's random loss; a frame that would wait longer than the queue allows is
// dropped, as a router's full queue does. This machine's kernel has no netem queueing
// discipline, so the link is made here. Run in a network namespace of its own that holds
// both interfaces (ends of two veth pairs, their other ends in the two sides' namespaces).
#include "QuorvelVersion.h"

#include <arpa/inet.h>
#include <linux/if_packet.h>
#include <net/ethernet.h>
#include <net/if.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <deque>
#include <iostream>
#include <optional>
#include <random>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using Nanoseconds = std::chrono::nanoseconds;

constexpr const char* kUsage =
    "usage: link-relay --delay-ms D --rate-kbit R [--loss-percent P] [--queue-ms Q]\n"
    "                  [--seed N] IFACE_A IFACE_B\n";
constexpr const char* kHelp =
    "Relays every Ethernet frame between IFACE_A and IFACE_B as a slow link would, in both\n"
    "directions alike: D ms later (one way), at R kbit/s, each frame lost with probability\n"
    "P per cent (default 0), dropped when it would wait more than Q ms for the line\n"
    "(default: one round trip, at least 50 ms). Prints \"ready\" once both interfaces are\n"
    "taken, and what it relayed, lost and dropped when it is ended (SIGTERM or SIGINT).\n"
    "\n"
    "  -h, --help    this help\n"
    "  --version     the version\n"
    "\n"
    "Exit codes: 0 ended by a signal, 1 an interface could not be used, 2 usage error.\n";

struct Link {
    Nanoseconds delay{};
    double bitsPerSecond = 0;
    double loss = 0; // probability, 0 to 1
    Nanoseconds queue{};
    unsigned seed = 1;
    std::string a, b;
};

struct Frame {
    Clock::time_point due;
    std::vector<unsigned char> bytes;
};

// One direction of the link: frames taken from one interface, waiting to leave by the other.
struct Direction {
    int from = -1;
    int to = -1;
    std::deque<Frame> waiting;
    Clock::time_point lineFree{};
    unsigned long long relayed = 0, lost = 0, dropped = 0, refused = 0;
};

// A descriptor, closed when it goes.
struct Socket {
    int fd = -1;
    explicit Socket(int descriptor) : fd(descriptor) {}
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    ~Socket() {
        if (fd >= 0) {
            close(fd);
        }
    }
};

volatile std::sig_atomic_t ended = 0;
void End(int) {
    ended = 1;
}

std::optional<double> Number(const std::string& text) {
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || errno != 0 || value < 0) {
        return std::nullopt;
    }
    return value;
}

// A raw socket on the interface named: every frame that arrives on it (not those it sends),
// whatever its destination address.
int FrameSocket(const std::string& name) {
    const unsigned index = if_nametoindex(name.c_str());
    if (index == 0) {
        return -1;
    }
    const int fd = socket(AF_PACKET, SOCK_RAW | SOCK_NONBLOCK | SOCK_CLOEXEC, htons(ETH_P_ALL));
    if (fd < 0) {
        return -1;
    }
    sockaddr_ll address{};
    address.sll_family = AF_PACKET;
    address.sll_protocol = htons(ETH_P_ALL);
    address.sll_ifindex = static_cast<int>(index);
    packet_mreq promiscuous{};
    promiscuous.mr_ifindex = static_cast<int>(index);
    promiscuous.mr_type = PACKET_MR_PROMISC;
    const int yes = 1, buffer = 8 << 20;
    if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof(address)) != 0 ||
        setsockopt(fd, SOL_PACKET, PACKET_ADD_MEMBERSHIP, &promiscuous, sizeof(promiscuous)) != 0 ||
        setsockopt(fd, SOL_PACKET, PACKET_IGNORE_OUTGOING, &yes, sizeof(yes)) != 0) {
        close(fd);
        return -1;
    }
    // Room for what arrives while a frame waits: as much as the system allows, best effort.
    setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof(buffer));
    setsockopt(fd, SOL_SOCKET, SO_SNDBUFFORCE, &buffer, sizeof(buffer));
    return fd;
}

class Relay {
public:
    explicit Relay(const Link& link) : link_(link), random_(link.seed) {}

    // Every frame waiting on the direction's interface, taken onto the line or lost.
    void Take(Direction& d) {
        std::vector<unsigned char> bytes(65536);
        for (;;) {
            sockaddr_ll from{};
            socklen_t size = sizeof(from);
            const ssize_t n = recvfrom(d.from, bytes.data(), bytes.size(), 0,
                                       reinterpret_cast<sockaddr*>(&from), &size);
            if (n <= 0) {
                return;
            }
            if (from.sll_pkttype == PACKET_OUTGOING) {
                continue;
            }
            if (link_.loss > 0 && chance_(random_) < link_.loss) {
                ++d.lost;
                continue;
            }
            const Clock::time_point now = Clock::now();
            const Clock::time_point start = std::max(now, d.lineFree);
            if (start - now > link_.queue) {
                ++d.dropped;
                continue;
            }
            // Each frame takes the line for its bits, preamble and gap included.
            const double seconds = (static_cast<double>(n) + 24) * 8 / link_.bitsPerSecond;
            d.lineFree = start + std::chrono::duration_cast<Nanoseconds>(
                                     std::chrono::duration<double>(seconds));
            d.waiting.push_back(
                Frame{d.lineFree + link_.delay,
                      std::vector<unsigned char>(bytes.begin(), bytes.begin() + n)});
        }
    }

    // The frames whose time has come, sent out of the other interface.
    void Deliver(Direction& d) {
        const Clock::time_point now = Clock::now();
        while (!d.waiting.empty() && d.waiting.front().due <= now) {
            const Frame& frame = d.waiting.front();
            if (send(d.to, frame.bytes.data(), frame.bytes.size(), 0) < 0) {
                if (errno == EAGAIN || errno == ENOBUFS) {
                    return; // the interface is full for now: the frame goes next time
                }
                ++d.refused;
            } else {
                ++d.relayed;
            }
            d.waiting.pop_front();
        }
    }

private:
    Link link_;
    std::mt19937_64 random_;
    std::uniform_real_distribution<double> chance_{0.0, 1.0};
};

// How long to wait for the next frame to leave, at most 100 ms (a signal is then seen).
timespec Wait(const Direction& ab, const Direction& ba) {
    Clock::time_point next = Clock::now() + std::chrono::milliseconds(100);
    for (const Direction* d : {&ab, &ba}) {
        if (!d->waiting.empty()) {
            next = std::min(next, d->waiting.front().due);
        }
    }
    const long long ns = std::max<long long>(
        0, std::chrono::duration_cast<Nanoseconds>(next - Clock::now()).count());
    return timespec{static_cast<time_t>(ns / 1000000000), static_cast<long>(ns % 1000000000)};
}

int Usage(const std::string& problem) {
    std::cerr << "link-relay: " << problem << "\nTry 'link-relay --help' for more information.\n";
    return 2;
}

// The link the command line describes, or the exit code once help, the version or a usage
// error has been written.
struct Parsed {
    std::optional<Link> link;
    int exitCode = 0;
};

Parsed Parse(const std::vector<std::string>& args) {
    Link link;
    std::optional<double> delay, rate, loss = 0.0, queue, seed = 1.0;
    std::vector<std::string> names;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "-h" || arg == "--help") {
            std::cout << kUsage << "\n" << kHelp;
            return Parsed{std::nullopt, 0};
        }
        if (arg == "--version") {
            std::cout << "link-relay " << QUORVEL_VERSION << "\n";
            return Parsed{std::nullopt, 0};
        }
        std::optional<double>* value = arg == "--delay-ms"       ? &delay
                                       : arg == "--rate-kbit"    ? &rate
                                       : arg == "--loss-percent" ? &loss
                                       : arg == "--queue-ms"     ? &queue
                                       : arg == "--seed"         ? &seed
                                                                 : nullptr;
        if (value == nullptr) {
            if (arg.rfind("-", 0) == 0) {
                return Parsed{std::nullopt, Usage("unknown option " + arg)};
            }
            names.push_back(arg);
            continue;
        }
        if (i + 1 >= args.size() || !(*value = Number(args[i + 1]))) {
            return Parsed{std::nullopt, Usage(arg + " takes a number of at least 0")};
        }
        ++i;
    }
    if (!delay || !rate || *rate <= 0 || names.size() != 2 || *loss > 100) {
        return Parsed{std::nullopt,
                      Usage("--delay-ms, --rate-kbit (above 0), a loss of at most 100 % and two "
                            "interfaces are needed")};
    }
    link.delay =
        std::chrono::duration_cast<Nanoseconds>(std::chrono::duration<double>(*delay / 1e3));
    link.bitsPerSecond = *rate * 1000;
    link.loss = *loss / 100;
    link.queue =
        queue ? std::chrono::duration_cast<Nanoseconds>(std::chrono::duration<double>(*queue / 1e3))
              : std::max<Nanoseconds>(2 * link.delay, std::chrono::milliseconds(50));
    link.seed = static_cast<unsigned>(*seed);
    link.a = names[0];
    link.b = names[1];
    return Parsed{link, 0};
}

} // namespace

int main(int argc, char** argv) {
    const Parsed parsed = Parse(std::vector<std::string>(argv + 1, argv + argc));
    if (!parsed.link) {
        return parsed.exitCode;
    }
    const Link& link = *parsed.link;
    const Socket a(FrameSocket(link.a));
    const Socket b(FrameSocket(link.b));
    Direction ab, ba;
    ab.from = ba.to = a.fd;
    ab.to = ba.from = b.fd;
    if (a.fd < 0 || b.fd < 0) {
        std::cerr << "link-relay: cannot take the interfaces " << link.a << " and " << link.b
                  << ": " << std::strerror(errno) << "\n";
        return 1;
    }
    std::signal(SIGTERM, End);
    std::signal(SIGINT, End);
    std::cout << "ready" << std::endl;
    Relay relay(link);
    pollfd fds[2] = {{ab.from, POLLIN, 0}, {ba.from, POLLIN, 0}};
    while (!ended) {
        const timespec wait = Wait(ab, ba);
        if (ppoll(fds, 2, &wait, nullptr) < 0 && errno != EINTR) {
            break;
        }
        relay.Take(ab);
        relay.Take(ba);
        relay.Deliver(ab);
        relay.Deliver(ba);
    }
    for (const auto& [name, d] :
         {std::pair<std::string, const Direction&>{link.a + " to " + link.b, ab},
          {link.b + " to " + link.a, ba}}) {
        std::cout << "link-relay: " << name << ": " << d.relayed << " frames relayed, " << d.lost
                  << " lost, " << d.dropped << " dropped by the full queue, " << d.refused
                  << " refused by the interface\n";
    }
    return 0;
}
