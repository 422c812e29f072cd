package com.quenbrook.ravo.tessel.ai.sandbox;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.fail;

import com.quenbrook.ravo.tessel.ai.sandbox.Settings.Mode;
import com.quenbrook.ravo.tessel.ai.sandbox.Settings.User;
import java.io.File;
import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Optional;
import java.util.concurrent.CompletableFuture;
import java.util.concurrent.TimeUnit;
import java.util.stream.Collectors;
import java.util.stream.Stream;

/** Programs the suite starts: hosts in a real JVM, the checker, the IPC witness. */
final class Hosts {
    /** Only a guard against a program that hangs: no run comes near it. */
    private static final long GUARD_MINUTES = 2;

    private Hosts() {}

    /** What a program wrote (standard output, and standard error) and how it ended. */
    record Run(String what, int exit, String output, String errors) {
        List<String> lines() {
            return output.lines().collect(Collectors.toList());
        }

        /** The module's report: the lines of its getPreGameChat. */
        List<String> report() {
            return lines().stream().filter(line -> line.startsWith("module: ")).map(line -> line.substring(8))
                    .collect(Collectors.toList());
        }

        /** The outcome the module reported for `what` by `who`, or fails. */
        String outcome(String who, String what) {
            String prefix = who + ": " + what + ": ";
            return report().stream().filter(line -> line.startsWith(prefix)).map(line -> line.substring(prefix.length()))
                    .findFirst().orElseGet(() -> fail(this.what + ": no outcome of \"" + who + ": " + what + "\"\n"
                            + this));
        }

        /** The value of the host's line "host: <call> -> <value>", or fails. */
        String answer(String call) {
            String prefix = "host: " + call + " -> ";
            return lines().stream().filter(line -> line.startsWith(prefix)).map(line -> line.substring(prefix.length()))
                    .findFirst().orElseGet(() -> fail(what + ": no answer of " + call + "\n" + this));
        }

        /** The values of a field of /proc/<pid>/status the host showed, one per process. */
        List<String> status(String field) {
            String prefix = "status: " + field + ":";
            return lines().stream().filter(line -> line.startsWith(prefix))
                    .map(line -> line.substring(prefix.length()).trim()).collect(Collectors.toList());
        }

        /** What pty-run found typed into the terminal after the program ended, escaped, or fails. */
        String typed() {
            String prefix = "pty-run: typed into the terminal: ";
            return lines().stream().filter(line -> line.startsWith(prefix)).map(line -> line.substring(prefix.length()))
                    .findFirst().orElseGet(() -> fail(what + ": pty-run did not say what was typed\n" + this));
        }

        List<Long> companions() {
            return lines().stream().filter(line -> line.startsWith("host: companion "))
                    .map(line -> Long.parseLong(line.substring(16))).collect(Collectors.toList());
        }

        @Override
        public String toString() {
            return "--- " + what + ", exit status " + exit + "\n" + output + "--- standard error\n" + errors;
        }
    }

    /** The companions of hosts that have ended, which must end too (assertCompanionsGone). */
    private static final List<String> companionsOfEndedHosts = new ArrayList<>();

    /**
     * Runs HostileHost as `user` on the module of `folder`, in process or
     * sandboxed (granted the folder), with `steps`; in a terminal of its own
     * when `inTerminal`. Its companion must be gone soon after it.
     */
    static Run host(User user, Mode mode, RunFolder folder, boolean inTerminal, String... steps) {
        return host(user, mode, folder, inTerminal ? "" : null, steps);
    }

    /** The same in a terminal of its own, on whose input `typedAhead` waits (null: no terminal). */
    static Run host(User user, Mode mode, RunFolder folder, String typedAhead, String... steps) {
        boolean inTerminal = typedAhead != null;
        List<String> command = new ArrayList<>();
        if (inTerminal)
            command.add(Settings.get("pty_run"));
        if (inTerminal && !typedAhead.isEmpty())
            command.addAll(List.of("--input", typedAhead));
        command.addAll(jvm(user, mode, folder.path));
        command.addAll(List.of("-cp", Settings.get("classpath"), HostileHost.class.getName(), folder.module.toString()));
        command.addAll(Arrays.asList(steps));
        // Its lines are all written when it ends; its companion is waited for after the test's runs.
        Run run = run("the host " + mode + " as " + user, command, inTerminal);
        assertEquals(0, run.exit(), run.toString());
        assertEquals("true", run.answer("initializeLibrary"), run.toString());
        for (long companion : run.companions())
            companionsOfEndedHosts.add(companion + " " + run.what());
        return run;
    }

    /**
     * Fails unless every companion of the hosts run since the last call has
     * ended (waiting 30 s at most for each): no process of a module outlives
     * its host.
     */
    static void assertCompanionsGone() {
        List<String> companions = new ArrayList<>(companionsOfEndedHosts);
        companionsOfEndedHosts.clear();
        for (String companion : companions) {
            String[] pidAndHost = companion.split(" ", 2);
            assertGone(Long.parseLong(pidAndHost[0]), "the companion " + pidAndHost[0] + " outlived " + pidAndHost[1]);
        }
    }

    /** The demo host as `user` on `module`, in process or sandboxed (granted `granted`). */
    static Run demo(User user, Mode mode, Path module, Path granted) {
        List<String> command = jvm(user, mode, granted);
        command.addAll(List.of("-cp", Settings.get("demo_classpath"), "com.quenbrook.ravo.tessel.demo.DemoHost",
                module.toString()));
        return run("the demo host " + mode + " as " + user, command);
    }

    /**
     * A JVM as `user`, with this build's bridges, asking for the sandbox
     * (granted `granted` to read) or not. No performance data: a file in
     * /tmp of the user's, which nobody's run would leave behind.
     */
    private static List<String> jvm(User user, Mode mode, Path granted) {
        List<String> command = new ArrayList<>(user.command());
        command.addAll(List.of(Paths.get(System.getProperty("java.home"), "bin", "java").toString(),
                "-XX:-UsePerfData", "-Djava.library.path=" + Settings.get("library_path")));
        if (mode == Mode.SANDBOX)
            command.addAll(List.of("-Dvantrell.isolation=sandbox", "-Dvantrell.sandbox.read=" + granted));
        return command;
    }

    /** aimodule-check --smoke --sandbox as `user`, granted the folder, in a terminal of its own. */
    static Run checker(User user, RunFolder folder) {
        List<String> command = new ArrayList<>(List.of(Settings.get("pty_run")));
        command.addAll(user.command());
        command.addAll(List.of(Settings.get("checker"), "--smoke", "--sandbox", "--sandbox-read",
                folder.path.toString(), folder.module.toString()));
        return run("the checker as " + user, command);
    }

    /** ipc-witness as `user` with `arguments`. */
    static Run witness(User user, String... arguments) {
        List<String> command = new ArrayList<>(user.command());
        command.add(Settings.get("ipc_witness"));
        command.addAll(Arrays.asList(arguments));
        Run run = run("ipc-witness", command);
        assertEquals(0, run.exit(), run.toString());
        return run;
    }

    /** Runs `command` and reads all it and the processes it leaves behind write to its standard streams. */
    static Run run(String what, List<String> command) {
        return run(what, command, true);
    }

    /**
     * Runs `command`; with `everyWriter`, what it writes is read through pipes
     * until every process that holds them (a companion, which ends some
     * time after its host) has closed them, else through files, read once
     * the command itself has ended.
     */
    private static Run run(String what, List<String> command, boolean everyWriter) {
        Path output = null;
        Path errors = null;
        try {
            ProcessBuilder builder = new ProcessBuilder(command).redirectInput(new File("/dev/null"));
            if (!everyWriter) {
                output = Files.createTempFile("vantrell-sandbox-output-", "");
                errors = Files.createTempFile("vantrell-sandbox-errors-", "");
                builder.redirectOutput(output.toFile()).redirectError(errors.toFile());
            }
            Process process = builder.start();
            CompletableFuture<byte[]> piped = everyWriter ? readAll(process.getInputStream()) : null;
            CompletableFuture<byte[]> pipedErrors = everyWriter ? readAll(process.getErrorStream()) : null;
            if (!process.waitFor(GUARD_MINUTES, TimeUnit.MINUTES)) {
                process.descendants().forEach(ProcessHandle::destroyForcibly);
                process.destroyForcibly();
                fail(what + " did not end: " + command);
            }
            byte[] out = everyWriter ? piped.get() : Files.readAllBytes(output);
            byte[] err = everyWriter ? pipedErrors.get() : Files.readAllBytes(errors);
            // One character a byte, so that texts compare as bytes.
            return new Run(what, process.exitValue(), new String(out, StandardCharsets.ISO_8859_1),
                    new String(err, StandardCharsets.ISO_8859_1));
        } catch (Exception e) {
            throw new AssertionError(what + ": " + command, e);
        } finally {
            for (Path file : new Path[] {output, errors})
                if (file != null)
                    file.toFile().delete();
        }
    }

    /** Waits (30 s at most) for the process to end; fails when it does not. */
    static void assertGone(long pid, String message) {
        Optional<ProcessHandle> process = ProcessHandle.of(pid);
        if (process.isEmpty())
            return;
        try {
            process.get().onExit().get(30, TimeUnit.SECONDS);
        } catch (Exception stillThere) {
            // judged below
        }
        assertFalse(process.get().isAlive(), message);
    }

    /** The processes whose name (/proc/<pid>/comm) is `name`. */
    static List<Long> named(String name) throws IOException {
        try (Stream<Path> processes = Files.list(Path.of("/proc"))) {
            return processes.filter(p -> p.getFileName().toString().matches("[0-9]+")).filter(p -> {
                try {
                    return Files.readString(p.resolve("comm")).strip().equals(name);
                } catch (IOException gone) {
                    return false;
                }
            }).map(p -> Long.parseLong(p.getFileName().toString())).collect(Collectors.toList());
        }
    }

    /** Read on a thread of its own: the common pool may have one thread, and two pipes must drain at once. */
    private static CompletableFuture<byte[]> readAll(InputStream stream) {
        CompletableFuture<byte[]> all = new CompletableFuture<>();
        Thread reader = new Thread(() -> {
            try (InputStream in = stream) {
                all.complete(in.readAllBytes());
            } catch (IOException e) {
                all.completeExceptionally(e);
            }
        }, "pipe reader");
        reader.setDaemon(true);
        reader.start();
        return all;
    }
}
