package com.quenbrook.ravo.tessel.ai.sandbox;

import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertTrue;

import com.quenbrook.ravo.tessel.ai.sandbox.Hosts.Run;
import com.quenbrook.ravo.tessel.ai.sandbox.Settings.Mode;
import com.quenbrook.ravo.tessel.ai.sandbox.Settings.User;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.attribute.PosixFilePermissions;
import java.util.stream.Stream;
import org.junit.jupiter.params.ParameterizedTest;
import org.junit.jupiter.params.provider.Arguments;
import org.junit.jupiter.params.provider.MethodSource;

/**
 * Modules that only play get the same session sandboxed as in process, the
 * demo host's transcript byte for byte: the clean module (its opening book
 * read from a folder the host grants, threads, iostream, exceptions, a
 * random device, a clock) and the SDK's examples, as root and as nobody.
 * The sample module's sandboxed session as the suite's own user is the
 * golden session's (tests/golden); here it plays as nobody.
 */
class SameTranscriptTest {
    private static final String BOOK = String.join("\n",
            "# the clean module's opening book: four setup rows, then moves",
            "setup 2 3 3 4 4 4 5 5 5 5",
            "setup 6 6 6 6 7 7 7 7 8 8",
            "setup 8 8 8 8 8 8 9 9 9 9",
            "setup 10 10 10 10 10 10 11 12 1 12",
            "move 2 3 2 4",
            "move 3 3 3 4",
            "move 2 4 2 5",
            "move 2 x 2 5",
            "");

    static Stream<Arguments> modules() {
        return User.all().flatMap(user -> Stream.of("clean", "example_minimal_c", "example_minimal_cpp", "tarrowby")
                .filter(module -> !module.equals("tarrowby") || user == User.NOBODY)
                .map(module -> Arguments.of(module, user)));
    }

    @ParameterizedTest(name = "{0} as {1}")
    @MethodSource("modules")
    void sandboxedTranscriptIsTheInProcessOne(String module, User user) throws Exception {
        try (RunFolder folder = new RunFolder(module)) {
            Path book = folder.resolve("book");
            Files.createDirectory(book, PosixFilePermissions.asFileAttribute(PosixFilePermissions.fromString("rwxr-xr-x")));
            Files.writeString(book.resolve("opening-book.txt"), BOOK);
            Run inProcess = Hosts.demo(user, Mode.IN_PROCESS, folder.module, book);
            Run sandboxed = Hosts.demo(user, Mode.SANDBOX, folder.module, book);
            assertEquals(0, inProcess.exit(), inProcess.toString());
            assertEquals("", inProcess.errors(), inProcess.toString());
            assertTrue(inProcess.output().contains("host: session over\n"), inProcess.toString());
            if (module.equals("clean"))
                assertTrue(inProcess.output().contains(
                        "clean: opening book of 40 setup squares and 3 moves, 1 lines skipped\n"), inProcess.toString());
            assertEquals(inProcess.output(), sandboxed.output(), "the sandboxed transcript\n" + sandboxed);
            assertEquals("", sandboxed.errors(), sandboxed.toString());
            assertEquals(0, sandboxed.exit(), sandboxed.toString());
        }
    }
}
