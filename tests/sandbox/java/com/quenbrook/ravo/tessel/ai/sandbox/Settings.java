package com.quenbrook.ravo.tessel.ai.sandbox;

import static org.junit.jupiter.api.Assertions.assertNotNull;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.List;
import java.util.stream.Stream;

/** What the build tells the suite (system properties "tessel.sandbox.*"), and who runs it. */
final class Settings {
    private Settings() {}

    static String get(String name) {
        String value = System.getProperty("tessel.sandbox." + name);
        assertNotNull(value, "system property tessel.sandbox." + name + " is not set");
        return value;
    }

    static boolean has(String name) {
        return System.getProperty("tessel.sandbox." + name) != null;
    }

    static String module(String name) {
        return get("module." + name);
    }

    static boolean root() {
        try {
            return Files.readAllLines(Path.of("/proc/self/status")).stream()
                    .anyMatch(line -> line.matches("Uid:\\s+0\\s.*"));
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
    }

    /** Who a host (or the checker) runs as. */
    enum User {
        /** The user that runs the suite: root, or an unprivileged one. */
        SELF,
        /** nobody, when the suite runs as root. */
        NOBODY;

        /** Those a run is made as: root and nobody under root, else the suite's own. */
        static Stream<User> all() {
            return root() ? Stream.of(SELF, NOBODY) : Stream.of(SELF);
        }

        boolean isRoot() {
            return this == SELF && root();
        }

        /** What starts a program as this user. */
        List<String> command() {
            return this == SELF ? List.of()
                    : List.of(get("setpriv"), "--reuid=65534", "--regid=65534", "--clear-groups");
        }

        @Override
        public String toString() {
            return this == NOBODY ? "nobody" : root() ? "root" : "the suite's user";
        }
    }

    /** How the host plays the module. */
    enum Mode {
        IN_PROCESS, SANDBOX;

        @Override
        public String toString() {
            return this == SANDBOX ? "sandboxed" : "in process";
        }
    }
}
