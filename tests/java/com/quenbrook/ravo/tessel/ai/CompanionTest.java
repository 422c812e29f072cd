package com.quenbrook.ravo.tessel.ai;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Paths;
import java.util.List;
import java.util.concurrent.TimeUnit;
import java.util.stream.Collectors;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Test;

/**
 * The 64-bit bridge playing 32-bit modules through its companion process:
 * the same session as in-process, and faults contained. Run on its own, with
 * the bridge folder that holds the companion on java.library.path.
 */
public class CompanionTest {
    @AfterEach
    void terminate() {
        NativeAIBridge.terminate();
    }

    private static List<ProcessHandle> companions() {
        return ProcessHandle.current().children().collect(Collectors.toList());
    }

    @Test
    void theDemoSessionThroughTheCompanionIsTheInProcessOne() throws Exception {
        GoldenSessionTest.DemoRun run = GoldenSessionTest.runDemo(Modules.path(Modules.TARROWBY), 5,
                "the demo host did not finish", "-Xcheck:jni");
        assertEquals("", run.errors(), "the demo host's standard error");
        assertEquals(0, run.exitCode());
        byte[] golden = Files.readAllBytes(Paths.get(Modules.path("tessel.test.golden")));
        assertEquals(new String(golden, StandardCharsets.UTF_8), new String(run.output(), StandardCharsets.UTF_8));
    }

    @Test
    void aModuleThatCrashesLeavesTheHostAliveWithDefaults() {
        assertTrue(NativeAIBridge.initializeLibrary(Modules.path("tessel.test.module.crashing")));
        assertTrue(NativeAIBridge.createGame(), "the module answers");
        assertEquals(0, NativeAIBridge.getCreateGameMode(), "the call that crashed gives its default");
        assertNull(NativeAIBridge.getPublicName(), "and so does every later one");
        assertTrue(companions().isEmpty(), "the companion was reaped");
        assertTrue(NativeAIBridge.initializeLibrary(Modules.path(Modules.TARROWBY)), "a new load works");
        assertEquals("Tarrowby", NativeAIBridge.getPublicName());
    }

    @Test
    void aCompanionKilledBetweenCallsGivesDefaults() throws Exception {
        assertTrue(NativeAIBridge.initializeLibrary(Modules.path(Modules.TARROWBY)));
        assertEquals("Tarrowby", NativeAIBridge.getPublicName());
        for (ProcessHandle companion : companions()) {
            companion.destroyForcibly();
            companion.onExit().get(30, TimeUnit.SECONDS);
        }
        assertNull(NativeAIBridge.getPublicName());
        assertEquals(-1, NativeAIBridge.getAISetupPiece(0, 0));
        byte[] move = {9, 9, 9, 9, 9};
        NativeAIBridge.getAIMove(move);
        assertArrayEquals(new byte[] {9, 9, 9, 9, 9}, move, "the host's array is left as it was");
    }

    @Test
    void anExceptionOutOfEndGameStaysInTheCompanion() {
        assertTrue(NativeAIBridge.initializeLibrary(Modules.path(Modules.THROWING)));
        NativeAIBridge.endGame(1, 0);
        assertEquals(42, NativeAIBridge.getCreateGameOption(41), "the module still answers");
        assertEquals(1, NativeAIBridge.getCreateGameMode(), "endGame's frame was cleaned up");
    }

    @Test
    void aModuleTheCompanionCannotLoadIsAFailedLoad() {
        // A 32-bit x86 object file: the companion's, not the bridge's, to refuse.
        assertFalse(NativeAIBridge.initializeLibrary(Modules.path("tessel.test.foreign_arch")));
        assertNull(NativeAIBridge.getPublicName());
        assertTrue(NativeAIBridge.initializeLibrary(Modules.path(Modules.TARROWBY)), "the next load works");
        assertEquals("Tarrowby", NativeAIBridge.getPublicName());
    }

    /** One companion per width for the host's life, however often modules come and go. */
    @Test
    void oneCompanionServesEveryLoad() {
        for (int round = 0; round < 3; ++round) {
            assertTrue(NativeAIBridge.initializeLibrary(Modules.path(Modules.TARROWBY)));
            assertTrue(NativeAIBridge.initializeLibrary(Modules.path(Modules.TARROWBY)));
            NativeAIBridge.terminate();
            assertNull(NativeAIBridge.getPublicName(), "the slot is empty");
        }
        assertEquals(1, companions().size(), "one companion plays them all");
    }

    @Test
    void noCompanionIsLeftAfterTheHostEnds() throws Exception {
        String java = Paths.get(System.getProperty("java.home"), "bin", "java").toString();
        Process child = new ProcessBuilder(java, "-Djava.library.path=" + System.getProperty("java.library.path"),
                "-cp", Modules.path("tessel.test.classpath"), HostThatLeaves.class.getName(),
                Modules.path(Modules.TARROWBY))
                .redirectError(ProcessBuilder.Redirect.INHERIT)
                .start();
        child.getOutputStream().close();
        String output = new String(child.getInputStream().readAllBytes(), StandardCharsets.UTF_8);
        assertTrue(child.waitFor(2, TimeUnit.MINUTES));
        String pid = output.lines().filter(line -> line.startsWith("companion ")).findFirst()
                .orElseThrow(() -> new AssertionError("the host named no companion:\n" + output)).substring(10);
        ProcessHandle companion = ProcessHandle.of(Long.parseLong(pid)).orElse(null);
        if (companion != null)
            companion.onExit().get(30, TimeUnit.SECONDS);
        assertFalse(companion != null && companion.isAlive(), "the companion outlived its host");
    }

    /** Loads a module through the companion, names the companion and ends without terminate. */
    public static final class HostThatLeaves {
        public static void main(String[] args) {
            if (!NativeAIBridge.initializeLibrary(args[0]))
                System.exit(3);
            ProcessHandle.current().children().forEach(p -> System.out.println("companion " + p.pid()));
            System.out.flush();
            System.exit(0);
        }
    }
}
