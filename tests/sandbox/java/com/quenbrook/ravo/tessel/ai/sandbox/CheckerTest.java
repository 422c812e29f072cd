package com.quenbrook.ravo.tessel.ai.sandbox;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.quenbrook.ravo.tessel.ai.sandbox.Hosts.Run;
import com.quenbrook.ravo.tessel.ai.sandbox.Listeners.Datagrams;
import com.quenbrook.ravo.tessel.ai.sandbox.Listeners.Streams;
import com.quenbrook.ravo.tessel.ai.sandbox.Settings.User;
import java.security.SecureRandom;
import java.util.List;
import java.util.Map;
import java.util.regex.Matcher;
import java.util.regex.Pattern;
import java.util.stream.Stream;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * The hostile modules under aimodule-check --smoke --sandbox, which must
 * run none of a module's code outside the sandbox: the checker names what
 * the sandbox refused, the module reports nothing done, and nothing it
 * tried is seen from outside (the folder it was copied to, the suite's
 * listeners, a daemon, IPC objects and keys, the terminal). The checker
 * grants the module's folder as a host would (--sandbox-read), so that its
 * attempts aim at the suite's listeners, queue and keys. As root and as
 * nobody under root.
 */
class CheckerTest {
    /** What the checker must name as refused, for each module. */
    private static final Map<String, List<String>> REFUSED = Map.of(
            "load_time", List.of("\"/etc/passwd\"", "socket", "clone"),
            "load_time_thread", List.of("\"/etc/passwd\"", "socket", "clone"),
            "io_uring", List.of("io_uring_setup"),
            "terminal", List.of("ioctl"),
            "ipc", List.of("msgsnd", "shmget", "semget", "add_key"),
            "privileged", List.of("unshare", "chroot", "bpf", "perf_event_open", "sethostname", "setpriority", "acct",
                    "syslog", "userfaultfd", "reboot"),
            "thread_flood", List.of());

    /** Each module as each user; also its 32-bit build, which aimodule-check-i386 runs, where there is one. */
    static Stream<Arguments> modules() {
        Stream<String> widths = Settings.has("module.load_time_i386") ? Stream.of("", "_i386") : Stream.of("");
        return widths.flatMap(width -> User.all().flatMap(user -> REFUSED.keySet().stream().sorted()
                .map(module -> Arguments.of(module, width, user))));
    }

    /** What the checker names: a 32-bit module's System V calls go through the one multiplexer. */
    private static List<String> refusals(String module, String width) {
        return module.equals("ipc") && width.equals("_i386") ? List.of("ipc", "add_key") : REFUSED.get(module);
    }

    @ParameterizedTest(name = "{0}{1} as {2}")
    @MethodSource("modules")
    void theCheckersSandboxRefusesWhatTheModuleTries(String module, String width, User user) throws Exception {
        String daemon = SandboxEscapeTest.daemonName();
        SecureRandom random = new SecureRandom();
        String shmKey = String.valueOf(0x10000000 + random.nextInt(0x40000000));
        String semKey = String.valueOf(0x10000000 + random.nextInt(0x40000000));
        String description = "vantrell-hostile-" + Long.toHexString(random.nextLong());
        try (RunFolder folder = new RunFolder(module + width); Streams tcp = Streams.tcp(); Datagrams udp = new Datagrams();
                Streams unix = Streams.unix(folder.resolve("unix.sock"))) {
            String queue = Hosts.witness(user, "make-queue").output().strip();
            folder.parameter("port", tcp.port()).parameter("daemon_name", daemon).parameter("udp_port", udp.port())
                    .parameter("unix_socket", folder.resolve("unix.sock")).parameter("msqid", queue)
                    .parameter("shm_key", shmKey).parameter("sem_key", semKey).parameter("key_description", description);
            Run run;
            Run left;
            List<Long> daemons;
            try {
                run = Hosts.checker(user, folder);
            } finally {
                daemons = Hosts.named(daemon);
                SandboxEscapeTest.endDaemon(daemon);
                left = Hosts.witness(user, "collect", queue, shmKey, semKey, description);
            }
            assertEquals(0, run.exit(), run.toString());
            assertTrue(run.output().contains("smoke session"), run.toString());
            String refused = refusedNames(run);
            // Everything that got out, at once: the account of an escape.
            List<String> outside = List.of(tcp.received().toString(), udp.received().toString(),
                    unix.received().toString(), daemons.toString(), folder.leftBehind().toString());
            assertAll(run.toString(),
                    () -> assertEquals(List.of("[]", "[]", "[]", "[]", "[unix.sock]"), outside,
                            "what reached the suite's TCP port, UDP port and UNIX socket, the module's daemon, "
                                    + "the files in the module's folder"),
                    () -> assertEquals(List.of("queue messages: 0", "shm segment: absent", "semaphore set: absent",
                            "key: absent"), left.lines(), "what the module left in IPC and the keyring"),
                    () -> assertEquals("", run.typed(), "what the module typed into the terminal"),
                    () -> assertFalse(run.output().contains(": done"), "the module reports something done"),
                    () -> assertAll(refusals(module, width).stream().map(name -> () -> assertTrue(refused.contains(name),
                            "the checker did not name " + name + " as refused"))));
            if (module.equals("thread_flood")) {
                Matcher started = Pattern.compile("getCreateGameOption\\(1\\) -> (\\d+)").matcher(run.output());
                assertTrue(started.find(), run.toString());
                assertTrue(Integer.parseInt(started.group(1)) <= 64 + 2, "threads started\n" + run);
            }
        }
    }

    /**
     * All the checker said the sandbox refused, in one text: what follows
     * "refused" on each line that says it (the module's own report, which
     * names no refusal, is left out).
     */
    private static String refusedNames(Run run) {
        StringBuilder names = new StringBuilder();
        for (String line : run.lines()) {
            int refused = line.lastIndexOf("refused");
            if (refused >= 0)
                names.append(line.substring(refused)).append('\n');
        }
        return names.toString();
    }
}
