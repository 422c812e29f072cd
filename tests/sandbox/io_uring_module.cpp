// A module that makes its sockets through io_uring, whose operations no
// system call filter sees: in initialize it sets up a ring and, through
// it, sends a UDP datagram to the test's port ("udp_port"), connects to the
// test's UNIX socket ("unix_socket") and sends on it, lists the network
// interfaces over netlink, and makes a packet and a raw socket.
#include "hostile.hpp"

#include "ai_module.h"

#include <arpa/inet.h>
#include <linux/if_ether.h>
#include <linux/io_uring.h>
#include <linux/netlink.h>
#include <linux/rtnetlink.h>
#include <netinet/in.h>
#include <sys/mman.h>
#include <sys/socket.h>
#include <sys/syscall.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

const std::string who = "io_uring";

// One ring, one operation at a time.
class Ring {
public:
    // errno is set when it could not be made.
    bool set_up() {
        io_uring_params p{};
        fd_ = static_cast<int>(syscall(__NR_io_uring_setup, 4, &p));
        if (fd_ < 0)
            return false;
        sq_size_ = p.sq_off.array + p.sq_entries * sizeof(unsigned);
        cq_size_ = p.cq_off.cqes + p.cq_entries * sizeof(io_uring_cqe);
        sqes_size_ = p.sq_entries * sizeof(io_uring_sqe);
        sq_ = map(sq_size_, IORING_OFF_SQ_RING);
        cq_ = map(cq_size_, IORING_OFF_CQ_RING);
        sqes_ = static_cast<io_uring_sqe *>(map(sqes_size_, IORING_OFF_SQES));
        if (!sq_ || !cq_ || !sqes_)
            return false;
        sq_tail_ = at<unsigned>(sq_, p.sq_off.tail);
        sq_mask_ = *at<unsigned>(sq_, p.sq_off.ring_mask);
        sq_array_ = at<unsigned>(sq_, p.sq_off.array);
        cq_head_ = at<unsigned>(cq_, p.cq_off.head);
        cq_tail_ = at<unsigned>(cq_, p.cq_off.tail);
        cq_mask_ = *at<unsigned>(cq_, p.cq_off.ring_mask);
        cqes_ = at<io_uring_cqe>(cq_, p.cq_off.cqes);
        return true;
    }
    ~Ring() {
        unmap(sq_, sq_size_);
        unmap(cq_, cq_size_);
        unmap(sqes_, sqes_size_);
        if (fd_ >= 0)
            close(fd_);
    }

    // The operation's result: what its system call would return, or -errno.
    int run(const io_uring_sqe &operation) {
        const unsigned tail = __atomic_load_n(sq_tail_, __ATOMIC_ACQUIRE);
        const unsigned slot = tail & sq_mask_;
        sqes_[slot] = operation;
        sq_array_[slot] = slot;
        __atomic_store_n(sq_tail_, tail + 1, __ATOMIC_RELEASE);
        if (syscall(__NR_io_uring_enter, fd_, 1, 1, IORING_ENTER_GETEVENTS, nullptr, 0) < 0)
            return -errno;
        const unsigned head = __atomic_load_n(cq_head_, __ATOMIC_ACQUIRE);
        if (head == __atomic_load_n(cq_tail_, __ATOMIC_ACQUIRE))
            return -EAGAIN;
        const int result = cqes_[head & cq_mask_].res;
        __atomic_store_n(cq_head_, head + 1, __ATOMIC_RELEASE);
        return result;
    }

private:
    void *map(std::size_t size, long long offset) {
        void *area = mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_SHARED | MAP_POPULATE, fd_, offset);
        return area == MAP_FAILED ? nullptr : area;
    }
    static void unmap(void *area, std::size_t size) {
        if (area)
            munmap(area, size);
    }
    template <class T> static T *at(void *area, unsigned offset) {
        return reinterpret_cast<T *>(static_cast<char *>(area) + offset);
    }

    int fd_ = -1;
    void *sq_ = nullptr, *cq_ = nullptr;
    io_uring_sqe *sqes_ = nullptr;
    std::size_t sq_size_ = 0, cq_size_ = 0, sqes_size_ = 0;
    unsigned *sq_tail_ = nullptr, *sq_array_ = nullptr, *cq_head_ = nullptr, *cq_tail_ = nullptr;
    unsigned sq_mask_ = 0, cq_mask_ = 0;
    io_uring_cqe *cqes_ = nullptr;
};

io_uring_sqe operation(int opcode, int fd) {
    io_uring_sqe sqe{};
    sqe.opcode = static_cast<std::uint8_t>(opcode);
    sqe.fd = fd;
    return sqe;
}

int make_socket(Ring &ring, int domain, int type, int protocol) {
    io_uring_sqe sqe = operation(IORING_OP_SOCKET, domain);
    sqe.off = static_cast<std::uint64_t>(type);
    sqe.len = static_cast<std::uint32_t>(protocol);
    return ring.run(sqe);
}

int connect_to(Ring &ring, int s, const void *address, socklen_t length) {
    io_uring_sqe sqe = operation(IORING_OP_CONNECT, s);
    sqe.addr = reinterpret_cast<std::uintptr_t>(address);
    sqe.off = length;
    return ring.run(sqe);
}

int transfer(Ring &ring, int opcode, int s, const void *data, std::size_t size) {
    io_uring_sqe sqe = operation(opcode, s);
    sqe.addr = reinterpret_cast<std::uintptr_t>(data);
    sqe.len = static_cast<std::uint32_t>(size);
    return ring.run(sqe);
}

std::string named(int result) { return result >= 0 ? "done" : hostile::error_name(-result); }

// A socket made, connected to `address` and sent `text` on, all through
// the ring; the outcome of the first step that failed.
void connect_and_send(Ring &ring, const std::string &what, int domain, int type, const void *address, socklen_t length,
                      const std::string &text) {
    const int s = make_socket(ring, domain, type, 0);
    if (s < 0)
        return hostile::report(who, what, named(s) + " (socket)");
    int result = connect_to(ring, s, address, length);
    std::string outcome = result < 0 ? named(result) + " (connect)" : "";
    if (result >= 0 && (result = transfer(ring, IORING_OP_SEND, s, text.data(), text.size())) < 0)
        outcome = named(result) + " (send)";
    close(s);
    hostile::report(who, what, outcome.empty() ? "done" : outcome);
}

void send_datagram(Ring &ring) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(hostile::number_parameter("udp_port", 9)));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    connect_and_send(ring, "UDP datagram to 127.0.0.1:" + std::to_string(ntohs(address.sin_port)), AF_INET, SOCK_DGRAM,
                     &address, sizeof address, "hostile datagram");
}

void send_on_unix_socket(Ring &ring) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string path = hostile::parameter("unix_socket", hostile::module_folder() + "/unix.sock");
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    connect_and_send(ring, "UNIX socket " + path, AF_UNIX, SOCK_STREAM, &address, sizeof address, "hostile stream");
}

// The interfaces the kernel lists in answer to a dump request.
void list_interfaces(Ring &ring) {
    const int s = make_socket(ring, AF_NETLINK, SOCK_RAW, NETLINK_ROUTE);
    if (s < 0)
        return hostile::report(who, "netlink interfaces", named(s) + " (socket)");
    struct {
        nlmsghdr header;
        ifinfomsg body;
    } request{};
    request.header.nlmsg_len = sizeof request;
    request.header.nlmsg_type = RTM_GETLINK;
    request.header.nlmsg_flags = NLM_F_REQUEST | NLM_F_DUMP;
    request.header.nlmsg_seq = 1;
    request.body.ifi_family = AF_UNSPEC;
    int result = transfer(ring, IORING_OP_SEND, s, &request, sizeof request);
    int interfaces = 0;
    for (bool over = result < 0; !over;) {
        alignas(nlmsghdr) static char answer[32768];
        result = transfer(ring, IORING_OP_RECV, s, answer, sizeof answer);
        if (result <= 0)
            break;
        auto *message = reinterpret_cast<nlmsghdr *>(answer);
        for (int left = result; NLMSG_OK(message, static_cast<unsigned>(left)); message = NLMSG_NEXT(message, left)) {
            if (message->nlmsg_type == RTM_NEWLINK)
                ++interfaces;
            over |= message->nlmsg_type == NLMSG_DONE || message->nlmsg_type == NLMSG_ERROR;
        }
    }
    close(s);
    hostile::report(who, "netlink interfaces",
                    result < 0 ? named(result) : "done: " + std::to_string(interfaces) + " interfaces");
}

void make_and_close(Ring &ring, const std::string &what, int domain, int type, int protocol) {
    const int s = make_socket(ring, domain, type, protocol);
    if (s >= 0)
        close(s);
    hostile::report(who, what, named(s));
}

} // namespace

int32_t AI_CALL initialize(const char *) {
    Ring ring;
    if (!ring.set_up()) {
        hostile::report(who, "io_uring_setup", hostile::outcome(false));
        return 1;
    }
    hostile::report(who, "io_uring_setup", "done");
    send_datagram(ring);
    send_on_unix_socket(ring);
    list_interfaces(ring);
    make_and_close(ring, "packet socket", AF_PACKET, SOCK_RAW, htons(ETH_P_ALL));
    make_and_close(ring, "raw socket", AF_INET, SOCK_RAW, IPPROTO_ICMP);
    return 1;
}

const char *AI_CALL getPublicName(void) { return "io_uring"; }
