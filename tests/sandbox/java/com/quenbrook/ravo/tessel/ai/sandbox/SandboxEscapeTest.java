package com.quenbrook.ravo.tessel.ai.sandbox;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNotEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assumptions.assumeTrue;

import com.quenbrook.ravo.tessel.ai.NativeAIBridge;
import com.quenbrook.ravo.tessel.ai.sandbox.Hosts.Run;
import com.quenbrook.ravo.tessel.ai.sandbox.Listeners.Datagrams;
import com.quenbrook.ravo.tessel.ai.sandbox.Listeners.Streams;
import com.quenbrook.ravo.tessel.ai.sandbox.Settings.Mode;
import com.quenbrook.ravo.tessel.ai.sandbox.Settings.User;
import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.security.SecureRandom;
import java.util.List;
import java.util.Set;
import java.util.stream.Stream;
import org.junit.jupiter.api.AfterAll;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * Modules that try to get out of the sandbox (tests/sandbox/*_module.cpp),
 * each through a real JVM host: sandboxed, every attempt is refused, as
 * the module reports and as the suite sees from outside (its listeners got
 * nothing, no file or IPC object or key appeared, nothing was typed into
 * the terminal, no process of the module is left), and the host goes on
 * (a later call answers); in process the same module's attempts work, so
 * that the refusals are the sandbox's. As root and as nobody under root,
 * else as the suite's user.
 */
class SandboxEscapeTest {
    /** What a refusal is: seccomp's answer, or Landlock's. */
    private static final Set<String> REFUSALS = Set.of("EPERM", "EACCES");

    static Stream<User> users() {
        return User.all();
    }

    /** Asked once all hosts have run, so that their companions end side by side. */
    @AfterAll
    static void noCompanionOutlivesItsHost() {
        Hosts.assertCompanionsGone();
    }

    /** Which build of the modules is played: "" for the one of this JVM's width. */
    String width() {
        return "";
    }

    /** Sandboxed and, to show what the same module does unconfined, in process. */
    List<Mode> modes() {
        return List.of(Mode.SANDBOX, Mode.IN_PROCESS);
    }

    RunFolder folder(String module) throws IOException {
        return new RunFolder(module + width());
    }

    private static void assertDone(Run run, String who, String what) {
        String outcome = run.outcome(who, what);
        assertTrue(outcome.startsWith("done"), who + ": " + what + " did not work without the sandbox: " + outcome
                + "\n" + run);
    }

    /** Refused at its first step: the call that makes the attempt. */
    private static void assertRefused(Run run, String who, String what) {
        assertRefusedAt(run, who, what, null);
    }

    /**
     * Refused at `step`, the attempt's first call ("socket", "fork"): a
     * refusal of a later step would mean the first got through.
     */
    static void assertRefusedAt(Run run, String who, String what, String step) {
        String outcome = run.outcome(who, what);
        String suffix = step == null ? "" : " (" + step + ")";
        assertTrue(REFUSALS.stream().anyMatch(refusal -> outcome.equals(refusal + suffix)),
                who + ": " + what + " was not refused at its first step in the sandbox: " + outcome + "\n" + run);
    }

    private static String passwdFirstLine() throws IOException {
        return Files.readAllLines(Path.of("/etc/passwd")).get(0);
    }

    // 1. Code run at load time: an ELF constructor and a C++ static initialiser.

    @ParameterizedTest(name = "as {0}")
    @MethodSource("users")
    void codeThatRunsAtLoadTimeIsConfined(User user) throws Exception {
        List<String> loaders = List.of("constructor", "static initializer");
        try (RunFolder folder = folder("load_time"); Streams tcp = Streams.tcp()) {
            String daemon = daemonName();
            folder.parameter("port", tcp.port()).parameter("daemon_name", daemon);
            try {
                Run run = Hosts.host(user, Mode.SANDBOX, folder, false, "report", "name");
                for (String who : loaders) {
                    String slug = who.replace(' ', '-');
                    assertRefused(run, who, "read /etc/passwd");
                    assertRefused(run, who, "create " + folder.resolve("created-by-" + slug));
                    assertRefusedAt(run, who, "connect to 127.0.0.1:" + tcp.port(), "socket");
                    assertRefusedAt(run, who, "run /bin/sh", "fork");
                }
                assertRefusedAt(run, "constructor", "start a daemon", "fork");
                assertEquals(Set.of(), folder.leftBehind(), "files the module made\n" + run);
                assertEquals(List.of(), tcp.received(), "what reached the suite's TCP port\n" + run);
                assertEquals(List.of(), Hosts.named(daemon), "the module's daemon lives\n" + run);
                assertEquals("load time", run.answer("getPublicName"));
            } finally {
                endDaemon(daemon);
            }
        }
        if (!modes().contains(Mode.IN_PROCESS))
            return;
        try (RunFolder folder = folder("load_time"); Streams tcp = Streams.tcp()) {
            String daemon = daemonName();
            folder.parameter("port", tcp.port()).parameter("daemon_name", daemon);
            try {
                Run run = Hosts.host(user, Mode.IN_PROCESS, folder, false, "report", "name");
                for (String who : loaders) {
                    String slug = who.replace(' ', '-');
                    assertEquals("done: " + passwdFirstLine(), run.outcome(who, "read /etc/passwd"));
                    assertDone(run, who, "create " + folder.resolve("created-by-" + slug));
                    assertDone(run, who, "connect to 127.0.0.1:" + tcp.port());
                    assertDone(run, who, "run /bin/sh");
                    assertTrue(Files.exists(folder.resolve("shell-of-" + slug)), "the shell left no file\n" + run);
                }
                assertDone(run, "constructor", "start a daemon");
                assertEquals(List.of("hello from the constructor", "hello from the static initializer"),
                        tcp.received().stream().sorted().toList());
                assertTrue(waitFor(folder.resolve("daemon-outlived-host")), "the daemon did not outlive the host");
            } finally {
                endDaemon(daemon);
            }
        }
    }

    /** A process name of the run's own, so that no other run's daemon is taken for this one's. */
    static String daemonName() {
        return "hd-" + Long.toHexString(new SecureRandom().nextLong() >>> 24);
    }

    /** Waits (a minute at most) for `file` to appear. */
    private static boolean waitFor(Path file) throws InterruptedException {
        for (int tenth = 0; tenth < 600 && !Files.exists(file); ++tenth)
            Thread.sleep(100);
        return Files.exists(file);
    }

    /** Ends the module's daemon, should it still be there. */
    static void endDaemon(String name) throws IOException {
        for (long pid : Hosts.named(name))
            ProcessHandle.of(pid).ifPresent(ProcessHandle::destroyForcibly);
    }

    // 2. A thread started at load time that waits for initialize.

    @ParameterizedTest(name = "as {0}")
    @MethodSource("users")
    void aThreadStartedAtLoadTimeIsConfined(User user) throws Exception {
        String who = "load-time thread";
        try (RunFolder folder = folder("load_time_thread"); Streams tcp = Streams.tcp()) {
            folder.parameter("port", tcp.port());
            Run run = Hosts.host(user, Mode.SANDBOX, folder, false, "initialize", "report", "name");
            assertEquals("true", run.answer("initialize"), "the thread did not finish\n" + run);
            assertRefused(run, who, "read /etc/passwd");
            assertRefused(run, who, "create " + folder.resolve("created-by-thread"));
            assertRefusedAt(run, who, "connect to 127.0.0.1:" + tcp.port(), "socket");
            assertRefusedAt(run, who, "run /bin/sh", "fork");
            assertEquals(Set.of(), folder.leftBehind(), "files the module made\n" + run);
            assertEquals(List.of(), tcp.received(), "what reached the suite's TCP port\n" + run);
            assertEquals("load-time thread", run.answer("getPublicName"));
        }
        if (!modes().contains(Mode.IN_PROCESS))
            return;
        try (RunFolder folder = folder("load_time_thread"); Streams tcp = Streams.tcp()) {
            folder.parameter("port", tcp.port());
            Run run = Hosts.host(user, Mode.IN_PROCESS, folder, false, "initialize", "report", "name");
            assertEquals("done: " + passwdFirstLine(), run.outcome(who, "read /etc/passwd"));
            assertDone(run, who, "create " + folder.resolve("created-by-thread"));
            assertDone(run, who, "connect to 127.0.0.1:" + tcp.port());
            assertDone(run, who, "run /bin/sh");
            assertEquals(Set.of("created-by-thread", "shell-of-thread"), folder.leftBehind());
            assertEquals(List.of("hello from a thread"), tcp.received());
        }
    }

    // 3. Sockets made through io_uring, which no system call filter sees.

    @ParameterizedTest(name = "as {0}")
    @MethodSource("users")
    void ioUringIsRefused(User user) throws Exception {
        for (Mode mode : modes()) {
            if (mode == Mode.IN_PROCESS)
                assumeTrue(ioUringAllowed(user), "this kernel allows io_uring to no module here");
            try (RunFolder folder = folder("io_uring"); Datagrams udp = new Datagrams();
                    Streams unix = Streams.unix(folder.resolve("unix.sock"))) {
                folder.parameter("udp_port", udp.port()).parameter("unix_socket", folder.resolve("unix.sock"));
                Run run = Hosts.host(user, mode, folder, false, "initialize", "report", "name");
                if (mode == Mode.SANDBOX) {
                    assertRefused(run, "io_uring", "io_uring_setup");
                    assertEquals(1, run.report().size(), "nothing but the ring was tried\n" + run);
                    assertEquals(List.of(), udp.received(), "datagrams that reached the suite\n" + run);
                    assertEquals(List.of(), unix.received(), "what reached the suite's UNIX socket\n" + run);
                    assertEquals("io_uring", run.answer("getPublicName"));
                    continue;
                }
                assertDone(run, "io_uring", "io_uring_setup");
                assertDone(run, "io_uring", "UDP datagram to 127.0.0.1:" + udp.port());
                assertEquals(List.of("hostile datagram"), udp.received());
                assertDone(run, "io_uring", "UNIX socket " + folder.resolve("unix.sock"));
                assertEquals(List.of("hostile stream"), unix.received());
                String interfaces = run.outcome("io_uring", "netlink interfaces");
                assertTrue(interfaces.matches("done: [1-9][0-9]* interfaces"), interfaces);
                if (user.isRoot()) {
                    assertDone(run, "io_uring", "packet socket");
                    assertDone(run, "io_uring", "raw socket");
                }
            }
        }
    }

    /** Whether the kernel lets `user` set up a ring (kernel.io_uring_disabled: 0 all, 1 root, 2 nobody). */
    private static boolean ioUringAllowed(User user) throws IOException {
        Path setting = Path.of("/proc/sys/kernel/io_uring_disabled");
        String disabled = Files.exists(setting) ? Files.readString(setting).strip() : "0";
        return disabled.equals("0") || disabled.equals("1") && user.isRoot();
    }

    // 4. The host's terminal: reading what the user types into it, through
    // the standard output and error it shares (open both ways).

    @ParameterizedTest(name = "as {0}")
    @MethodSource("users")
    void readingTheTerminalIsRefused(User user) throws Exception {
        String secret = "typed-by-the-user";
        try (RunFolder folder = folder("terminal")) {
            Run run = Hosts.host(user, Mode.SANDBOX, folder, secret, "option:1", "report", "name");
            assertEquals("EPERM", run.outcome("terminal", "read fd 1"), run.toString());
            assertEquals("EPERM", run.outcome("terminal", "read fd 2"), run.toString());
            assertEquals("nothing to read", run.outcome("terminal", "read fd 0"), "standard input is empty\n" + run);
            assertEquals(secret, run.typed(), "what the user typed is still there, unread\n" + run);
        }
        if (!modes().contains(Mode.IN_PROCESS))
            return;
        try (RunFolder folder = folder("terminal")) {
            Run run = Hosts.host(user, Mode.IN_PROCESS, folder, secret, "option:1", "report", "name");
            assertEquals("done: " + secret, run.outcome("terminal", "read fd 1"), run.toString());
            assertEquals("", run.typed(), run.toString());
        }
    }

    // 4. The host's terminal: typing into it.

    @ParameterizedTest(name = "as {0}")
    @MethodSource("users")
    void typingIntoTheTerminalIsRefused(User user) throws Exception {
        try (RunFolder folder = folder("terminal")) {
            Run run = Hosts.host(user, Mode.SANDBOX, folder, true, "initialize", "report", "name");
            assertEquals("", run.typed(), "what the module typed into the terminal\n" + run);
            for (int fd = 0; fd < 3; ++fd) {
                assertRefused(run, "terminal", "TIOCSTI on fd " + fd);
                assertEquals("EPERM", run.outcome("terminal", "TIOCLINUX on fd " + fd), run.toString());
            }
            assertRefusedAt(run, "terminal", "TIOCSTI on /dev/tty", "open");
            assertEquals("terminal", run.answer("getPublicName"));
        }
        if (!modes().contains(Mode.IN_PROCESS))
            return;
        // Typing needs the terminal to be the caller's controlling one or
        // CAP_SYS_ADMIN; a kernel may also allow it to no user but root.
        assumeTrue(user.isRoot() || legacyTiocsti(), "this kernel lets only root type into a terminal");
        try (RunFolder folder = folder("terminal")) {
            Run run = Hosts.host(user, Mode.IN_PROCESS, folder, true, "initialize", "report", "name");
            assertEquals(": INJECTED-BY-FD-0\\n: INJECTED-BY-FD-1\\n: INJECTED-BY-FD-2\\n: INJECTED-BY-DEV-TTY\\n",
                    run.typed(), run.toString());
            for (int fd = 0; fd < 3; ++fd) {
                // A pseudo-terminal is no console: its driver, not a filter, says no.
                String linux = run.outcome("terminal", "TIOCLINUX on fd " + fd);
                assertFalse(REFUSALS.contains(linux), "TIOCLINUX did not reach the terminal: " + linux);
            }
        }
    }

    private static boolean legacyTiocsti() throws IOException {
        Path setting = Path.of("/proc/sys/dev/tty/legacy_tiocsti");
        return !Files.exists(setting) || Files.readString(setting).strip().equals("1");
    }

    // 5. System V IPC and the keyrings.

    @ParameterizedTest(name = "as {0}")
    @MethodSource("users")
    void ipcAndKeyringsAreRefused(User user) throws Exception {
        SecureRandom random = new SecureRandom();
        for (Mode mode : modes()) {
            String shmKey = String.valueOf(0x10000000 + random.nextInt(0x40000000));
            String semKey = String.valueOf(0x10000000 + random.nextInt(0x40000000));
            String description = "vantrell-hostile-" + Long.toHexString(random.nextLong());
            Run run;
            Run left;
            try (RunFolder folder = folder("ipc")) {
                String queue = Hosts.witness(user, "make-queue").output().strip();
                folder.parameter("msqid", queue).parameter("shm_key", shmKey).parameter("sem_key", semKey)
                        .parameter("key_description", description);
                try {
                    run = Hosts.host(user, mode, folder, false, "initialize", "report", "name");
                } finally {
                    left = Hosts.witness(user, "collect", queue, shmKey, semKey, description);
                }
            }
            if (mode == Mode.SANDBOX) {
                for (String call : List.of("msgsnd", "shmget", "semget", "add_key"))
                    assertRefused(run, "ipc", call);
                assertEquals(List.of("queue messages: 0", "shm segment: absent", "semaphore set: absent", "key: absent"),
                        left.lines(), "what the module left\n" + run);
                assertEquals("ipc", run.answer("getPublicName"));
            } else {
                for (String call : List.of("msgsnd", "shmget", "semget", "add_key"))
                    assertDone(run, "ipc", call);
                assertEquals(List.of("queue messages: 1", "shm segment: present", "semaphore set: present",
                        "key: present"), left.lines(), "what the module left in process\n" + run);
            }
        }
    }

    // 6. The privileges of the user who started the host.

    private static final List<String> PRIVILEGED_CALLS = List.of("unshare(CLONE_NEWNET)", "unshare(CLONE_NEWNS)",
            "chroot", "bpf(BPF_MAP_CREATE)", "perf_event_open on the host", "perf_event_open CPU-wide", "sethostname",
            "setpriority(-20)", "acct", "syslog", "userfaultfd", "reboot");

    @ParameterizedTest(name = "as {0}")
    @MethodSource("users")
    void privilegedCallsAreRefused(User user) throws Exception {
        try (RunFolder folder = folder("privileged")) {
            Run run = Hosts.host(user, Mode.SANDBOX, folder, false, "hostpid", "status", "initialize", "report", "name");
            for (String set : List.of("CapInh", "CapPrm", "CapEff", "CapBnd", "CapAmb"))
                assertEquals(List.of("0000000000000000"), run.status(set), set + " of the companion\n" + run);
            assertEquals(List.of("1"), run.status("NoNewPrivs"), run.toString());
            assertEquals(List.of("2"), run.status("Seccomp"), run.toString());
            for (String call : PRIVILEGED_CALLS)
                assertEquals("EPERM", run.outcome("privileged", call), run.toString());
            assertEquals("privileged", run.answer("getPublicName"));
        }
        // Without privileges there is nothing to show in process.
        if (!user.isRoot() || !modes().contains(Mode.IN_PROCESS))
            return;
        try (RunFolder folder = folder("privileged")) {
            Run run = Hosts.host(user, Mode.IN_PROCESS, folder, false, "hostpid", "status", "initialize", "report");
            assertNotEquals(List.of("0000000000000000"), run.status("CapEff"), run.toString());
            for (String call : PRIVILEGED_CALLS) {
                String expected = call.equals("acct") ? "ENOENT" // the path, checked once allowed
                        : call.equals("reboot") ? "EINVAL" // the magic number, checked once allowed
                        : call.equals("sethostname") ? "new UTS namespace, done" : "done";
                assertEquals(expected, run.outcome("privileged", call), run.toString());
            }
        }
    }

    // 7. Threads without bound.

    @ParameterizedTest(name = "as {0}")
    @MethodSource("users")
    void threadsAreBounded(User user) throws Exception {
        try (RunFolder folder = folder("thread_flood")) {
            Run run = Hosts.host(user, Mode.SANDBOX, folder, false, "option:1", "status", "option:2", "report", "name");
            int started = Integer.parseInt(run.answer("getCreateGameOption(1)"));
            // Exactly the bound the host's documentation names.
            assertEquals(NativeAIBridge.SANDBOX_THREAD_LIMIT, started, started + " threads started\n" + run);
            int threads = Integer.parseInt(run.status("Threads").get(0));
            assertTrue(threads <= NativeAIBridge.SANDBOX_THREAD_LIMIT + 2,
                    "the companion ran " + threads + " threads\n" + run);
            assertEquals(String.valueOf(started), run.answer("getCreateGameOption(2)"), "threads ended");
            assertEquals("thread flood", run.answer("getPublicName"));
        }
        if (!modes().contains(Mode.IN_PROCESS))
            return;
        try (RunFolder folder = folder("thread_flood")) {
            Run run = Hosts.host(user, Mode.IN_PROCESS, folder, false, "option:1", "status", "option:2", "report");
            int started = Integer.parseInt(run.answer("getCreateGameOption(1)"));
            // All of them, unless the machine's own bound on the user's
            // processes came first: far above the sandbox's either way.
            assertTrue(started == 6000 || started > 1000 && run.outcome("threads", "start 6000").endsWith("EAGAIN"),
                    run.toString());
            assertTrue(Integer.parseInt(run.status("Threads").get(0)) > started, run.toString());
            assertEquals(String.valueOf(started), run.answer("getCreateGameOption(2)"), run.toString());
        }
    }
}
