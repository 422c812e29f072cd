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

    private static boolean isLibrary(Path file) {
        String name = file.getFileName().toString();
        return name.endsWith(".so") || name.endsWith(".dll");
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
     * and loads, in their listed order, the libraries up to the bridge (what
     * the bridge needs before the bridge, so that Windows finds them already
     * loaded). What is listed after the bridge stays beside it unloaded: the
     * companion program that plays modules of the other width, executable,
     * and what it needs. Where the platform lets a loaded file go (not
     * Windows), the loaded copies are removed at once; the rest at exit, as
     * far as the platform allows.
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
        String bridge = System.mapLibraryName("vantrell");
        List<Path> copies = new ArrayList<>();
        List<Path> loaded = new ArrayList<>();
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
            boolean beforeBridge = true;
            for (Path copy : copies) {
                if (beforeBridge && isLibrary(copy)) {
                    System.load(copy.toString());
                    loaded.add(copy);
                    beforeBridge = !copy.getFileName().toString().equals(bridge);
                } else if (!isLibrary(copy) && !copy.toFile().setExecutable(true, true)) {
                    throw new IOException("cannot make " + copy + " executable");
                }
            }
        } finally {
            // Removed at exit in the reverse order of registration: the
            // folder after what stays in it.
            boolean keepsFolder = windows || !loaded.containsAll(copies);
            if (keepsFolder)
                folder.toFile().deleteOnExit();
            for (Path copy : copies) {
                if (windows || !loaded.contains(copy))
                    copy.toFile().deleteOnExit();
                else
                    Files.deleteIfExists(copy);
            }
            if (!keepsFolder)
                Files.deleteIfExists(folder);
        }
        return true;
    }
}
