package com.quenbrook.ravo.tessel.ai;

import java.io.IOException;
import java.io.InputStream;
import java.nio.channels.FileChannel;
import java.nio.channels.FileLock;
import java.nio.channels.OverlappingFileLockException;
import java.nio.file.DirectoryStream;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.nio.file.StandardCopyOption;
import java.nio.file.StandardOpenOption;
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

    /** The libraries the bridge is built as, by the isolation they give. */
    private static final String IN_PROCESS = "vantrell";
    private static final String ISOLATED = "vantrell_isolated";
    private static final String SANDBOXED = "vantrell_sandboxed";

    /** The temporary folders the jar's files are copied to, and the file that says their owner lives. */
    private static final String FOLDER_PREFIX = "vantrell-";
    private static final String OWNER_FILE = ".owner";
    /** A folder with no owner file yet is another host's being made, unless it is older than this. */
    private static final long UNOWNED_FOLDER_AGE_MILLIS = 10 * 60 * 1000;
    /** Held until this process ends, however it ends: the system then releases the lock. */
    private static FileLock ownership;

    private NativeLibraryLoader() {}

    /** Locks the owner file of {@code folder} for this process's life. */
    private static void holdAsOwner(Path folder) throws IOException {
        FileChannel owner = FileChannel.open(folder.resolve(OWNER_FILE), StandardOpenOption.CREATE_NEW,
                StandardOpenOption.WRITE);
        ownership = owner.lock();
    }

    /**
     * Removes the folders earlier hosts copied the jar's files to, which
     * stay behind when a host does not end normally (a crash, a kill) or
     * where loaded files cannot be removed (Windows): those whose owner file
     * no process holds locked any more. Anything that cannot be judged or
     * removed is left as it is.
     */
    private static void removeFoldersOfEndedHosts() {
        Path temporary = Paths.get(System.getProperty("java.io.tmpdir"));
        try (DirectoryStream<Path> folders = Files.newDirectoryStream(temporary, FOLDER_PREFIX + "*")) {
            for (Path folder : folders)
                if (Files.isDirectory(folder, LinkOption.NOFOLLOW_LINKS) && ownerHasEnded(folder))
                    removeAll(folder);
        } catch (IOException | SecurityException e) {
            // Another user's folders, or none to read: nothing to clean.
        }
    }

    private static boolean ownerHasEnded(Path folder) {
        Path ownerFile = folder.resolve(OWNER_FILE);
        try {
            if (!Files.exists(ownerFile, LinkOption.NOFOLLOW_LINKS))
                return System.currentTimeMillis() - Files.getLastModifiedTime(folder).toMillis()
                        > UNOWNED_FOLDER_AGE_MILLIS;
            try (FileChannel owner = FileChannel.open(ownerFile, StandardOpenOption.WRITE);
                    FileLock lock = owner.tryLock()) {
                return lock != null;
            }
        } catch (IOException | OverlappingFileLockException | SecurityException e) {
            return false;
        }
    }

    private static void removeAll(Path folder) {
        try (DirectoryStream<Path> files = Files.newDirectoryStream(folder)) {
            for (Path file : files)
                Files.deleteIfExists(file);
            Files.deleteIfExists(folder);
        } catch (IOException | SecurityException e) {
            // Still in use, or not ours: left for a later host.
        }
    }

    /**
     * The library for the isolation the host asks for with
     * {@code -D<isolationProperty>}: {@code inprocess} (or unset),
     * {@code process} or {@code sandbox}.
     */
    private static String libraryFor(String isolationProperty) {
        String isolation = System.getProperty(isolationProperty, "inprocess");
        switch (isolation) {
        case "inprocess":
            return IN_PROCESS;
        case "process":
            return ISOLATED;
        case "sandbox":
            return SANDBOXED;
        default:
            throw failure("-D" + isolationProperty + "=" + isolation
                    + ": the isolation is inprocess (the default), process or sandbox");
        }
    }

    static void load(String libraryProperty, String isolationProperty) {
        String library = libraryFor(isolationProperty);
        String named = System.getProperty(libraryProperty);
        if (named != null && !named.isEmpty()) {
            Path file = Paths.get(named).toAbsolutePath();
            try {
                System.load(file.toString());
            } catch (UnsatisfiedLinkError error) {
                throw failure("-D" + libraryProperty + "=" + named + " (" + file + "): " + error.getMessage());
            }
            return;
        }
        List<String> tried = new ArrayList<>();
        try {
            System.loadLibrary(library);
            return;
        } catch (UnsatisfiedLinkError error) {
            tried.add("java.library.path: " + error.getMessage());
        }
        String platform = platform();
        try {
            if (loadFromJar(platform, library))
                return;
            tried.add("this jar: it carries no " + library + " for " + platform);
        } catch (IOException | UnsatisfiedLinkError error) {
            tried.add("this jar's " + library + " for " + platform + ": " + error.getMessage());
        }
        throw failure(String.join("; ", tried));
    }

    private static boolean isLibrary(Path file) {
        String name = file.getFileName().toString();
        return name.endsWith(".so") || name.endsWith(".dll");
    }

    private static UnsatisfiedLinkError failure(String tried) {
        return new UnsatisfiedLinkError("cannot load the native library of NativeAIBridge. Tried " + tried);
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
     * and loads, in their listed order, the libraries listed before the
     * bridge's first variant (what the bridge needs, so that Windows finds
     * them already loaded), then {@code library}, one of those variants.
     * The rest stays beside it unloaded: the other variant, and the
     * companion programs that play modules in processes of their own,
     * executable, with what they need. Where the platform lets a loaded file
     * go (not Windows), the loaded copies are removed at once; the rest at
     * exit, as far as the platform allows.
     *
     * @return false when the jar has no {@code library} for the platform
     */
    private static boolean loadFromJar(String platform, String library) throws IOException {
        List<String> files = new ArrayList<>();
        try (InputStream index = NativeLibraryLoader.class.getResourceAsStream(NATIVES + platform + "/" + INDEX)) {
            if (index == null)
                return false;
            for (String line : new String(index.readAllBytes(), StandardCharsets.UTF_8).split("\n")) {
                if (!line.isBlank())
                    files.add(line.strip());
            }
        }
        String chosen = System.mapLibraryName(library);
        List<String> variants = List.of(System.mapLibraryName(IN_PROCESS), System.mapLibraryName(ISOLATED),
                System.mapLibraryName(SANDBOXED));
        if (!files.contains(chosen))
            return false;
        removeFoldersOfEndedHosts();
        Path folder = Files.createTempDirectory(FOLDER_PREFIX);
        holdAsOwner(folder);
        boolean windows = platform.startsWith("windows");
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
                String name = copy.getFileName().toString();
                beforeBridge = beforeBridge && !variants.contains(name);
                if ((beforeBridge && isLibrary(copy)) || name.equals(chosen)) {
                    System.load(copy.toString());
                    loaded.add(copy);
                } else if (!isLibrary(copy) && !copy.toFile().setExecutable(true, true)) {
                    throw new IOException("cannot make " + copy + " executable");
                }
            }
        } finally {
            // Removed at exit in the reverse order of registration: the
            // folder after what stays in it. What cannot be removed then (a
            // crash, a DLL still loaded) the next host removes.
            boolean keepsFolder = windows || !loaded.containsAll(copies);
            Path ownerFile = folder.resolve(OWNER_FILE);
            if (keepsFolder) {
                folder.toFile().deleteOnExit();
                ownerFile.toFile().deleteOnExit();
            }
            for (Path copy : copies) {
                if (windows || !loaded.contains(copy))
                    copy.toFile().deleteOnExit();
                else
                    Files.deleteIfExists(copy);
            }
            if (!keepsFolder) {
                Files.deleteIfExists(ownerFile);
                Files.deleteIfExists(folder);
            }
        }
        return true;
    }
}
