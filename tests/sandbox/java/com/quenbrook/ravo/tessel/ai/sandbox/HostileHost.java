package com.quenbrook.ravo.tessel.ai.sandbox;

import com.quenbrook.ravo.tessel.ai.NativeAIBridge;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.stream.Collectors;

/**
 * A host that loads one module through {@link NativeAIBridge} (in process,
 * or in a companion as its system properties ask) and makes the calls its
 * arguments name, one line of output each, flushed:
 * <pre>
 * HostileHost &lt;module&gt; &lt;step&gt;...
 *   initialize   initialize("hostile host")
 *   hostpid      setGameOption(1, this process's id)
 *   option:N     getCreateGameOption(N)
 *   report       getPreGameChat(), one "module: " line per line of it
 *   name         getPublicName()
 *   status       the credentials, filter and threads of each companion
 *                (of this process when there is none), as "status: " lines
 *   terminate    terminate()
 * </pre>
 * After the load it names its companions ("host: companion &lt;pid&gt;"), so
 * that the test can look for them once it has gone.
 */
public final class HostileHost {
    private static final List<String> STATUS_FIELDS =
            List.of("Uid", "Threads", "NoNewPrivs", "Seccomp", "CapInh", "CapPrm", "CapEff", "CapBnd", "CapAmb");

    private HostileHost() {}

    public static void main(String[] args) throws IOException {
        say("host: initializeLibrary -> " + NativeAIBridge.initializeLibrary(args[0]));
        for (long companion : companions())
            say("host: companion " + companion);
        for (int i = 1; i < args.length; i++)
            step(args[i]);
        System.exit(0);
    }

    private static void step(String step) throws IOException {
        if (step.startsWith("option:")) {
            int option = Integer.parseInt(step.substring(7));
            say("host: getCreateGameOption(" + option + ") -> " + NativeAIBridge.getCreateGameOption(option));
            return;
        }
        switch (step) {
            case "initialize" -> say("host: initialize -> " + NativeAIBridge.initialize("hostile host"));
            case "hostpid" -> say("host: setGameOption(1, pid) -> "
                    + NativeAIBridge.setGameOption(1, (int) ProcessHandle.current().pid()));
            case "report" -> {
                String report = NativeAIBridge.getPreGameChat();
                say("host: getPreGameChat -> " + (report == null ? "null" : "a report"));
                if (report != null)
                    report.lines().forEach(line -> say("module: " + line));
            }
            case "name" -> say("host: getPublicName -> " + NativeAIBridge.getPublicName());
            case "status" -> status();
            case "terminate" -> {
                NativeAIBridge.terminate();
                say("host: terminate");
            }
            default -> throw new IllegalArgumentException("no such step: " + step);
        }
    }

    /** This process's children that are companions. */
    private static List<Long> companions() {
        return ProcessHandle.current().children().map(ProcessHandle::pid).filter(pid -> {
            try {
                return Files.readString(Path.of("/proc/" + pid + "/comm")).startsWith("vantrell-compan");
            } catch (IOException gone) {
                return false;
            }
        }).collect(Collectors.toList());
    }

    private static void status() throws IOException {
        List<Long> companions = companions();
        List<String> processes = companions.isEmpty() ? List.of("self")
                : companions.stream().map(String::valueOf).collect(Collectors.toList());
        for (String process : processes)
            for (String line : Files.readAllLines(Path.of("/proc/" + process + "/status")))
                if (STATUS_FIELDS.contains(line.substring(0, Math.max(0, line.indexOf(':')))))
                    say("status: " + line.replace('\t', ' '));
    }

    private static void say(String line) {
        System.out.println(line);
        System.out.flush();
    }
}
