package com.quenbrook.ravo.tessel.ai.sandbox;

import java.io.IOException;
import java.io.UncheckedIOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.Comparator;
import java.util.LinkedHashMap;
import java.util.Map;
import java.util.Set;
import java.util.TreeSet;
import java.util.stream.Collectors;
import java.util.stream.Stream;

/**
 * A folder of one run: a copy of the module ("module.so") and its
 * parameters file ("params"), writable by every user (a host run as nobody
 * included), so that only a sandbox keeps a module from writing there.
 * Removed, with all a module left in it, when closed.
 */
final class RunFolder implements AutoCloseable {
    static final String MODULE = "module.so";

    final Path path;
    final Path module;
    private final Map<String, Object> parameters = new LinkedHashMap<>();

    /** The folder with the module of the system property {@code tessel.sandbox.module.<name>}. */
    RunFolder(String name) throws IOException {
        path = Files.createTempDirectory("vantrell-sandbox-");
        Files.setPosixFilePermissions(path, PosixFilePermissions.fromString("rwxrwxrwx"));
        module = path.resolve(MODULE);
        Files.copy(Path.of(Settings.module(name)), module);
        Files.setPosixFilePermissions(module, PosixFilePermissions.fromString("rwxr-xr-x"));
    }

    /** Adds a "key value" line to the module's parameters file. */
    RunFolder parameter(String key, Object value) {
        parameters.put(key, value);
        StringBuilder text = new StringBuilder();
        parameters.forEach((k, v) -> text.append(k).append(' ').append(v).append('\n'));
        try {
            Files.writeString(path.resolve("params"), text, StandardCharsets.UTF_8);
        } catch (IOException e) {
            throw new UncheckedIOException(e);
        }
        return this;
    }

    Path resolve(String name) {
        return path.resolve(name);
    }

    /** The names in the folder besides the module and its parameters. */
    Set<String> leftBehind() throws IOException {
        try (Stream<Path> files = Files.list(path)) {
            return files.map(file -> file.getFileName().toString())
                    .filter(name -> !name.equals(MODULE) && !name.equals("params"))
                    .collect(Collectors.toCollection(TreeSet::new));
        }
    }

    @Override
    public void close() throws IOException {
        try (Stream<Path> files = Files.walk(path)) {
            for (Path file : files.sorted(Comparator.reverseOrder()).collect(Collectors.toList()))
                Files.deleteIfExists(file);
        }
    }
}
