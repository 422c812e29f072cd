package com.quenbrook.ravo.tessel.ai;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertTimeoutPreemptively;
import static org.junit.jupiter.api.Assertions.assertTrue;
import static org.junit.jupiter.api.Assertions.fail;

import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardOpenOption;
import java.time.Duration;
import java.util.ArrayList;
import java.util.List;
import java.util.Optional;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;
import java.util.concurrent.atomic.AtomicInteger;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * A module played out of process (the build runs this class once with
 * {@code -Dvantrell.isolation=process} and once with {@code =sandbox}) that
 * hangs, stops itself, crashes after starting a daemon, or leaves its output
 * in its buffer: it costs the host one call, never its life or its output.
 * Scenes that end a host run in a JVM of their own ({@link Host}).
 */
public class OutOfProcessFaultsTest {
    private static final String FAULTS = "tessel.test.module.faults";
    private static final String LOGGING = "tessel.test.module.logging";
    private static final String STUCK = "tessel.test.module.stuck_loading";
    private static final int NEVER_RETURNS = 6, STOPS_ITSELF = 7, DAEMON_THEN_CRASH = 5, LEAVES_OUTPUT = 8;

    private static boolean sandboxed() {
        return "sandbox".equals(System.getProperty(NativeAIBridge.ISOLATION_PROPERTY));
    }

    @AfterEach
    void terminate() {
        System.clearProperty("vantrell.callTimeout");
        NativeAIBridge.terminate();
    }

    /**
     * While a call hangs (or the module has stopped its process), a
     * terminate or a load from another thread ends its companion: the call
     * gives its default, nothing crashes, and the next module plays.
     */
    @ParameterizedTest
    @ValueSource(ints = {NEVER_RETURNS, STOPS_ITSELF})
    void anotherThreadGivesUpOnACallThatDoesNotReturn(int how) throws Exception {
        for (int round = 0; round < 6; ++round) {
            assertTrue(NativeAIBridge.initializeLibrary(Modules.path(FAULTS)));
            CompletableFuture<Integer> call = CompletableFuture.supplyAsync(() -> NativeAIBridge.getCreateGameOption(how));
            // Most rounds find the call in the module; any that comes first
            // finds the module gone: the same default either way.
            Thread.sleep(round * 40L);
            if (round % 2 == 0)
                NativeAIBridge.terminate();
            else
                assertTrue(NativeAIBridge.initializeLibrary(Modules.path(Modules.TARROWBY)));
            assertEquals(0, call.get(60, TimeUnit.SECONDS), "the call given up gives its default");
            assertTrue(NativeAIBridge.initializeLibrary(Modules.path(Modules.TARROWBY)));
            assertEquals("Tarrowby", NativeAIBridge.getPublicName(), "the next module plays");
            NativeAIBridge.terminate();
        }
    }

    /**
     * A load on another thread whose module never finishes loading (its
     * constructor never returns) is given up by a terminate, whatever the
     * moment: neither thread waits for good.
     */
    @Test
    void aTerminateGivesUpALoadThatNeverEnds() {
        assertTimeoutPreemptively(Duration.ofMinutes(2), () -> {
            for (int round = 0; round < 12; ++round) {
                assertTrue(NativeAIBridge.initializeLibrary(Modules.path(Modules.TARROWBY)));
                CompletableFuture<Boolean> load =
                        CompletableFuture.supplyAsync(() -> NativeAIBridge.initializeLibrary(Modules.path(STUCK)));
                // From before the load has begun to well into it.
                for (long until = System.nanoTime() + round * 250_000L; System.nanoTime() < until;)
                    Thread.onSpinWait();
                // A terminate that came first leaves the load to the next.
                while (!load.isDone()) {
                    NativeAIBridge.terminate();
                    Thread.sleep(20);
                }
                assertFalse(load.get(), "the load of a module that never loads");
            }
        });
    }

    /** With a deadline, a call that never returns ends its module; the host plays on with the next. */
    @Test
    void aDeadlineEndsACallThatNeverReturns() {
        System.setProperty("vantrell.callTimeout", "300");
        assertTrue(NativeAIBridge.initializeLibrary(Modules.path(FAULTS)));
        assertEquals(42, NativeAIBridge.getCreateGameOption(41), "a quick call answers");
        assertEquals(0, NativeAIBridge.getCreateGameOption(NEVER_RETURNS));
        assertEquals(0, NativeAIBridge.getCreateGameOption(41), "the module is gone until the next load");
        assertTrue(NativeAIBridge.initializeLibrary(Modules.path(Modules.TARROWBY)));
        assertEquals("Tarrowby", NativeAIBridge.getPublicName());
    }

    /** Two threads on one bridge: their calls take turns, and each gets its own answer. */
    @Test
    void twoThreadsGetTheirOwnAnswers() throws Exception {
        assertTrue(NativeAIBridge.initializeLibrary(Modules.path(FAULTS)));
        AtomicInteger wrong = new AtomicInteger();
        List<Thread> threads = new ArrayList<>();
        for (int t = 0; t < 2; ++t) {
            int base = 100 + 1000 * t;
            threads.add(new Thread(() -> {
                for (int i = 0; i < 3000; ++i)
                    if (NativeAIBridge.getCreateGameOption(base + i) != base + i + 1)
                        wrong.incrementAndGet();
            }));
        }
        threads.forEach(Thread::start);
        for (Thread thread : threads)
            thread.join();
        assertEquals(0, wrong.get(), "wrong answers");
    }

    /**
     * A module that starts a daemon (which holds the companion's channel)
     * and then crashes: the call gives its default, and the daemon does
     * not outlive the companion (in a sandbox no process starts at all).
     */
    @Test
    void aCrashAfterADaemonGivesTheDefaultAndEndsTheDaemon() throws Exception {
        HostRun run = HostRun.of("daemon-then-crash", null);
        assertEquals(0, run.exitCode, run.output);
        assertTrue(run.output.contains("host: 0\n"), run.output);
        Optional<String> daemon = run.output.lines().filter(l -> l.startsWith("daemon ")).findFirst();
        assertEquals(!sandboxed(), daemon.isPresent(), run.output);
        if (daemon.isPresent()) {
            Optional<ProcessHandle> alive = ProcessHandle.of(Long.parseLong(daemon.get().substring(7)));
            if (alive.isPresent())
                alive.get().onExit().get(30, TimeUnit.SECONDS);
        }
    }

    /**
     * What a module leaves in its buffer is in the host's output file the
     * moment the host's process has ended, however it ends, and nothing of
     * the companion's comes after: a line the shell appends then stays last.
     */
    @ParameterizedTest
    @ValueSource(strings = {"exit", "return"})
    void theModulesOutputIsWrittenBeforeTheHostEnds(String how) throws Exception {
        for (int run = 0; run < 5; ++run) {
            Path file = Files.createTempFile("tessel-output", ".txt");
            try {
                HostRun host = HostRun.of("leave-output-then-" + how, file);
                String text = Files.readString(file);
                assertEquals(0, host.exitCode, text);
                long lines = text.lines().filter(l -> l.matches("0{97}\\d\\d")).count();
                assertEquals(40, lines, "the module's lines when the host had ended:\n" + text);
                Files.writeString(file, "after the host\n", StandardOpenOption.APPEND);
                host.waitForCompanions();
                assertTrue(Files.readString(file).endsWith("\nafter the host\n"), "something came after the host");
            } finally {
                Files.deleteIfExists(file);
            }
        }
    }

    /**
     * A module that writes its load and unload lines to its buffer only,
     * loaded again and again: every line reaches the host (a sandboxed
     * companion leaves with its module each time, one process companion
     * counts the loads).
     */
    @Test
    void repeatedLoadsKeepEveryLine() throws Exception {
        Path file = Files.createTempFile("tessel-reloads", ".txt");
        try {
            HostRun host = HostRun.of("reload-logging", file);
            assertEquals(0, host.exitCode);
            List<String> lines = Files.readAllLines(file);
            long times = sandboxed() ? Host.RELOADS : 1;
            assertEquals(times, lines.stream().filter("logging module: loaded"::equals).count(), lines.toString());
            assertEquals(times, lines.stream().filter("logging module: unloaded"::equals).count(), lines.toString());
        } finally {
            Files.deleteIfExists(file);
        }
    }

    /** A host in a JVM of its own, its standard output to a file (or read). */
    private static final class HostRun {
        int exitCode;
        String output = "";
        List<ProcessHandle> companions = new ArrayList<>();

        static HostRun of(String scene, Path output) throws Exception {
            Path stdout = output != null ? output : Files.createTempFile("tessel-host", ".txt");
            List<String> command = List.of(Paths.get(System.getProperty("java.home"), "bin", "java").toString(),
                    "-D" + NativeAIBridge.ISOLATION_PROPERTY + "=" + System.getProperty(NativeAIBridge.ISOLATION_PROPERTY),
                    "-Djava.library.path=" + System.getProperty("java.library.path"),
                    "-D" + FAULTS + "=" + Modules.path(FAULTS), "-D" + LOGGING + "=" + Modules.path(LOGGING),
                    "-D" + Modules.TARROWBY + "=" + Modules.path(Modules.TARROWBY),
                    "-cp", Modules.path("tessel.test.classpath"), Host.class.getName(), scene);
            Process child = new ProcessBuilder(command).redirectOutput(stdout.toFile())
                    .redirectError(ProcessBuilder.Redirect.INHERIT).start();
            child.getOutputStream().close();
            HostRun run = new HostRun();
            // Its companions, seen while it runs, to be waited for afterwards.
            // A host that waits on a module's daemon (which lives minutes)
            // is stopped well before.
            long limit = System.nanoTime() + TimeUnit.MINUTES.toNanos(1);
            while (!child.waitFor(20, TimeUnit.MILLISECONDS)) {
                child.descendants().filter(p -> !run.companions.contains(p)).forEach(run.companions::add);
                if (System.nanoTime() > limit) {
                    child.descendants().forEach(ProcessHandle::destroyForcibly);
                    child.destroyForcibly();
                    fail("the host did not end: " + scene);
                }
            }
            run.exitCode = child.exitValue();
            if (output == null) {
                run.output = Files.readString(stdout);
                Files.delete(stdout);
            }
            return run;
        }

        void waitForCompanions() throws Exception {
            for (ProcessHandle companion : companions)
                companion.onExit().get(30, TimeUnit.SECONDS);
        }
    }

    /** The scenes a host plays in a JVM of its own. */
    public static final class Host {
        static final int RELOADS = 60;

        private static void say(String line) {
            System.out.println("host: " + line);
            System.out.flush();
        }

        public static void main(String[] args) {
            switch (args[0]) {
            case "daemon-then-crash":
                NativeAIBridge.initializeLibrary(System.getProperty(FAULTS));
                say(String.valueOf(NativeAIBridge.getCreateGameOption(DAEMON_THEN_CRASH)));
                break;
            case "leave-output-then-exit":
            case "leave-output-then-return":
                NativeAIBridge.initializeLibrary(System.getProperty(FAULTS));
                NativeAIBridge.getCreateGameOption(LEAVES_OUTPUT);
                if (args[0].endsWith("exit"))
                    System.exit(0);
                break;
            case "reload-logging":
                for (int i = 0; i < RELOADS; ++i)
                    if (!NativeAIBridge.initializeLibrary(System.getProperty(LOGGING)))
                        System.exit(3);
                NativeAIBridge.terminate();
                break;
            default:
                System.exit(2);
            }
        }
    }
}
