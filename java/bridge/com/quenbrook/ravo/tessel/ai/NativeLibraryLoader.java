package com.quenbrook.ravo.tessel.ai;

import java.io.IOException;
import java.io.InputStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.util.ArrayList;
import java.util.List;
import java.util.Locale;

/**
 * Loads the native library {@code vantrell} for {@link NativeAIBridge}, in
 * the order its class documentation gives, and says in the error what it
 * tried when every way fails.
 */
final class NativeLibraryLoader {
    /** Where the jar keeps each platform's files, beside this class. */
    private static final String NATIVES = "natives/";
    /** Each platform folder's list of its files, one a line, in load order. */
    private static final String INDEX = "natives.list";

    private NativeLibraryLoader() {}

    static void load(String property) {
        String named = System.getProperty(property);
        if (named != null && !named.isEmpty()) {
            Path file = Paths.get(named).toAbsolutePath();
            try {
                System.load(file.toString());
            } catch (UnsatisfiedLinkError error) {
                throw failure("-D" + property + "=" + named + " (" + file + "): " + error.getMessage());
            }
            return;
        }
        List<String> tried = new ArrayList<>();
        try {
            System.loadLibrary("vantrell");
            return;
        } catch (UnsatisfiedLinkError error) {
            tried.add("java.library.path: " + error.getMessage());
        }
        String platform = platform();
        try {
            if (loadFromJar(platform))
                return;
            tried.add("this jar: it carries no bridge for " + platform);
        } catch (IOException | UnsatisfiedLinkError error) {
            tried.add("this jar's bridge for " + platform + ": " + error.getMessage());
        }
        throw failure(String.join("; ", tried));
    }

    private static UnsatisfiedLinkError failure(String tried) {
        return new UnsatisfiedLinkError("cannot load the native library vantrell. Tried " + tried);
    }

    /** The folder name of this JVM's platform: linux-x86_64, windows-x86, ... */
    static String platform() {
        String os = System.getProperty("os.name", "").toLowerCase(Locale.ROOT);
        String arch = System.getProperty("os.arch", "").toLowerCase(Locale.ROOT);
        if (os.startsWith("windows"))
            os = "windows";
        else if (os.startsWith("linux"))
            os = "linux";
        if (arch.equals("amd64") || arch.equals("x86_64"))
            arch = "x86_64";
        else if (arch.matches("i[3-6]86|x86"))
            arch = "x86";
        return os + "-" + arch;
    }

    /**
     * Copies this platform's files out of the jar into a new private folder
     * and loads them in their listed order (companions before the bridge, so
     * that Windows finds them already loaded). Where the platform lets a
     * loaded file go (not Windows), the copies are removed at once; else
     * at exit, as far as the platform allows.
     *
     * @return false when the jar has no files for the platform
     */
    private static boolean loadFromJar(String platform) throws IOException {
        List<String> files = new ArrayList<>();
        try (InputStream index = NativeLibraryLoader.class.getResourceAsStream(NATIVES + platform + "/" + INDEX)) {
            if (index == null)
                return false;
            for (String line : new String(index.readAllBytes(), StandardCharsets.UTF_8).split("\n")) {
                if (!line.isBlank())
                    files.add(line.strip());
            }
        }
        if (files.isEmpty())
            return false;
        Path folder = Files.createTempDirectory("vantrell-");
        boolean windows = platform.startsWith("windows");
        List<Path> copies = new ArrayList<>();
        try {
            for (String name : files) {
                Path copy = folder.resolve(name);
                try (InputStream in = NativeLibraryLoader.class.getResourceAsStream(NATIVES + platform + "/" + name)) {
                    if (in == null)
                        throw new IOException(name + " is listed but missing");
                    Files.copy(in, copy, StandardCopyOption.REPLACE_EXISTING);
                }
                copies.add(copy);
            }
            for (Path copy : copies)
                System.load(copy.toString());
        } finally {
            if (windows) {
                folder.toFile().deleteOnExit();
                for (Path copy : copies)
                    copy.toFile().deleteOnExit();
            } else {
                for (Path copy : copies)
                    Files.deleteIfExists(copy);
                Files.deleteIfExists(folder);
            }
        }
        return true;
    }
}
