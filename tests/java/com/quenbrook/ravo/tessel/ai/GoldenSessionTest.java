package com.quenbrook.ravo.tessel.ai;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.fail;

import java.io.IOException;
import java.io.InputStream;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.ValueSource;

/**
 * Runs the demo host against the sample module in a child VM and compares
 * its standard output, module lines and host lines as they came through one
 * pipe, byte for byte with the recorded transcript.
 */
class GoldenSessionTest {
    private static final String DEMO_CLASS = "com.quenbrook.ravo.tessel.demo.DemoHost";
    private static final int CONTEXT = 3;

    /** What a demo host run in a child VM wrote and how it ended. */
    record DemoRun(int exitCode, byte[] output, String errors) {}

    /**
     * Runs the demo host against {@code module} in a child VM with this VM's
     * java.library.path and the given options, for at most {@code minutes}
     * (only a guard against a hung child, which would otherwise hold the
     * suite until the test driver kills it; `hung` says what that means).
     */
    static DemoRun runDemo(String module, int minutes, String hung, String... options) throws Exception {
        List<String> command = new ArrayList<>();
        command.add(Paths.get(System.getProperty("java.home"), "bin", "java").toString());
        command.addAll(Arrays.asList(options));
        command.add("-Djava.library.path=" + System.getProperty("java.library.path"));
        command.addAll(List.of("-cp", Modules.path("tessel.test.demo.classpath"), DEMO_CLASS, module));
        Process child = new ProcessBuilder(command).start();
        child.getOutputStream().close();
        CompletableFuture<byte[]> stdout = readAll(child.getInputStream());
        CompletableFuture<byte[]> stderr = readAll(child.getErrorStream());
        if (!child.waitFor(minutes, TimeUnit.MINUTES)) {
            child.destroyForcibly();
            fail(hung);
        }
        return new DemoRun(child.exitValue(), stdout.get(), new String(stderr.get(), StandardCharsets.UTF_8));
    }

    /**
     * A module call that never returns ends the demo, named, after the limit:
     * in process its watchdog ends it, out of process the bridge's deadline.
     */
    @ParameterizedTest
    @ValueSource(strings = {"inprocess", "process"})
    void demoEndsWithTheNameOfACallThatDoesNotReturn(String isolation) throws Exception {
        DemoRun run = runDemo(Modules.path("tessel.test.module.hanging"), 2,
                "the demo host did not stop the call that hangs", "-Dtessel.demo.callLimit=1",
                "-Dvantrell.isolation=" + isolation);
        assertEquals(4, run.exitCode(), "the demo host's exit code");
        assertEquals("DemoHost: the module's getPublicName did not return within 1 s: the demo ends here\n",
                run.errors());
    }

    @Test
    void demoSessionWithTarrowbyMatchesTheTranscript() throws Exception {
        Path golden = Paths.get(Modules.path("tessel.test.golden"));
        DemoRun run = runDemo(Modules.path(Modules.TARROWBY), 5, "the demo host did not finish", "-Xcheck:jni");
        assertEquals("", run.errors(), "the demo host's standard error");
        assertEquals(0, run.exitCode(), "the demo host's exit code");
        byte[] expected = Files.readAllBytes(golden);
        if (!Arrays.equals(expected, run.output())) {
            fail(difference(golden, expected, run.output()));
        }
    }

    /**
     * Asked for isolation or a sandbox, the host gets the same session, every
     * call through a companion (a confined one in the sandbox).
     */
    @ParameterizedTest
    @ValueSource(strings = {"process", "sandbox"})
    void demoSessionIsolatedMatchesTheTranscript(String isolation) throws Exception {
        Path golden = Paths.get(Modules.path("tessel.test.golden"));
        DemoRun run = runDemo(Modules.path(Modules.TARROWBY), 5, "the demo host did not finish", "-Xcheck:jni",
                "-D" + NativeAIBridge.ISOLATION_PROPERTY + "=" + isolation);
        assertEquals("", run.errors(), "the demo host's standard error");
        assertEquals(0, run.exitCode(), "the demo host's exit code");
        byte[] expected = Files.readAllBytes(golden);
        if (!Arrays.equals(expected, run.output())) {
            fail(difference(golden, expected, run.output()));
        }
    }

    @Test
    void aDifferenceNamesTheFirstDifferingLineAndShowsTheStraySpace() {
        byte[] expected = "one\ntwo\nthree\n".getBytes(StandardCharsets.US_ASCII);
        byte[] actual = "one\ntwo \nthree\n".getBytes(StandardCharsets.US_ASCII);
        String report = difference(Paths.get("golden.txt"), expected, actual);
        assertEquals(String.join("\n",
                "standard output differs from golden.txt at line 2",
                "--- golden.txt",
                "+++ demo host output",
                "@@ line 2 @@",
                " one",
                "-two",
                "+two <-- trailing space",
                ""), report);
        String shorter = difference(Paths.get("g"), expected, "one\ntwo\nthree".getBytes(StandardCharsets.US_ASCII));
        assertEquals("-three\n+three  (no newline)\n", shorter.substring(shorter.indexOf("-three")));
    }

    private static CompletableFuture<byte[]> readAll(InputStream stream) {
        return CompletableFuture.supplyAsync(() -> {
            try (InputStream in = stream) {
                return in.readAllBytes();
            } catch (IOException e) {
                throw new UncheckedIOException(e);
            }
        });
    }

    /** The first differing line with a few lines before it, diff style. */
    static String difference(Path golden, byte[] expected, byte[] actual) {
        List<String> want = lines(expected);
        List<String> got = lines(actual);
        int first = 0;
        while (first < want.size() && first < got.size() && want.get(first).equals(got.get(first))) {
            first++;
        }
        StringBuilder text = new StringBuilder();
        text.append("standard output differs from ").append(golden)
                .append(" at line ").append(first + 1).append('\n')
                .append("--- ").append(golden).append('\n')
                .append("+++ demo host output\n")
                .append("@@ line ").append(first + 1).append(" @@\n");
        for (int i = Math.max(0, first - CONTEXT); i < first; i++) {
            text.append(' ').append(visible(want.get(i))).append('\n');
        }
        text.append(first < want.size() ? "-" + visible(want.get(first)) : "-(end of transcript)").append('\n');
        text.append(first < got.size() ? "+" + visible(got.get(first)) : "+(end of output)").append('\n');
        return text.toString();
    }

    /** Lines with their terminators, so a missing last newline differs too. */
    static List<String> lines(byte[] bytes) {
        String text = new String(bytes, StandardCharsets.ISO_8859_1);
        List<String> lines = new ArrayList<>();
        int start = 0;
        while (start < text.length()) {
            int end = text.indexOf('\n', start);
            end = end < 0 ? text.length() : end + 1;
            lines.add(text.substring(start, end));
            start = end;
        }
        return lines;
    }

    /** Control characters, bytes above 126 and a trailing space made visible. */
    static String visible(String line) {
        StringBuilder text = new StringBuilder();
        boolean terminated = line.endsWith("\n");
        String body = terminated ? line.substring(0, line.length() - 1) : line;
        for (char c : body.toCharArray()) {
            if (c < 0x20 || c > 0x7E) {
                text.append(String.format("\\x%02X", (int) c));
            } else {
                text.append(c);
            }
        }
        if (body.endsWith(" ")) {
            text.append("<-- trailing space");
        }
        if (!terminated) {
            text.append("  (no newline)");
        }
        return text.toString();
    }
}
