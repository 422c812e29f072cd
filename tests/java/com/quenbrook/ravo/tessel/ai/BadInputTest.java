package com.quenbrook.ravo.tessel.ai;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.Comparator;
import java.util.stream.Stream;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.DynamicTest;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestFactory;
import org.junit.jupiter.api.io.TempDir;

/**
 * Bad input on the real VM, run under -Xcheck:jni, each case with its
 * defined outcome: module paths that name no usable library or that the
 * loader must never see as they are, loads and terminates in every order,
 * null references and short move arrays with a module loaded. The missing
 * file, the empty and the null path, a text file and the defaults before any
 * load are in {@link UnloadedBridgeTest}; the length-4 array and null arrays
 * in {@link TarrowbyBridgeTest}.
 */
class BadInputTest {
    /** The sample module's answer for any square; -1 is the default. */
    private static final int TARROWBY_PIECE = 9;

    @TempDir
    Path dir;

    @AfterEach
    void unload() {
        NativeAIBridge.terminate();
    }

    private static boolean tarrowbyInSlot() {
        int piece = NativeAIBridge.getAISetupPiece(0, 0);
        assertTrue(piece == TARROWBY_PIECE || piece == -1, "unexpected answer " + piece);
        return piece == TARROWBY_PIECE;
    }

    /** The path fails to load and empties the slot a module held before. */
    private static void assertRefused(String path) {
        Modules.load(Modules.TARROWBY);
        assertFalse(NativeAIBridge.initializeLibrary(path), "initializeLibrary(" + path + ")");
        assertFalse(tarrowbyInSlot(), "a failed load must leave the slot empty");
        assertNull(NativeAIBridge.getPublicName());
    }

    @Test
    void aDirectoryIsRefused() {
        assertRefused(dir.toString());
    }

    @Test
    void aLibraryOfAnotherArchitectureIsRefused() {
        // A 32-bit x86 object made by the C compiler with -m32 -c.
        Path foreign = Paths.get(Modules.path("tessel.test.foreign_arch"));
        assertTrue(Files.isRegularFile(foreign), foreign + " is missing");
        assertRefused(foreign.toString());
    }

    @Test
    void anEmptyFileIsRefused() throws IOException {
        assertRefused(Files.createFile(dir.resolve("libempty.so")).toString());
    }

    @Test
    void aVeryLongPathIsRefused() {
        StringBuilder path = new StringBuilder(dir.toString());
        while (path.length() < 5000) {
            path.append("/abcdefghij");
        }
        assertRefused(path.toString());
    }

    @Test
    void aPathWithU0000IsRefusedWithoutLoadingThePartBeforeIt() {
        String real = Modules.path(Modules.TARROWBY);
        assertRefused(real + "\0ignored");
        assertRefused(real + "\0");
        assertRefused("\0" + real);
    }

    @Test
    void aPathWithAnUnpairedSurrogateIsRefused() {
        String real = Modules.path(Modules.TARROWBY);
        assertRefused(real + "\uD800");
        assertRefused("\uDC00" + real);
        assertRefused(real + "\uDC00\uD800");
    }

    @Test
    void aCopyInAFolderWithNonAsciiCharactersLoads() throws IOException {
        Path original = Paths.get(Modules.path(Modules.TARROWBY));
        Path folder = Files.createDirectories(dir.resolve("m\u00F3dulo-\u6F22-\uD83D\uDE00"));
        Path copy = Files.copy(original, folder.resolve("t\u00E9" + original.getFileName()));
        assertTrue(NativeAIBridge.initializeLibrary(copy.toString()), "initializeLibrary(" + copy + ")");
        assertEquals("Tarrowby", NativeAIBridge.getPublicName());
        NativeAIBridge.terminate();
        // The same path with one character changed names nothing.
        assertFalse(NativeAIBridge.initializeLibrary(copy.toString().replace('\u00E9', 'e')));
    }

    /**
     * Two loads and two terminates in each of their orders: a load fills
     * the slot, a terminate empties it, and a load into a full slot or a
     * terminate of an empty one breaks nothing.
     */
    @TestFactory
    Stream<DynamicTest> twoLoadsAndTwoTerminatesInEveryOrder() {
        return Stream.of("LLTT", "LTLT", "LTTL", "TLLT", "TLTL", "TTLL").map(order -> DynamicTest.dynamicTest(order, () -> {
            NativeAIBridge.terminate();
            for (int step = 0; step < order.length(); step++) {
                boolean load = order.charAt(step) == 'L';
                if (load) {
                    Modules.load(Modules.TARROWBY);
                } else {
                    NativeAIBridge.terminate();
                }
                assertEquals(load, tarrowbyInSlot(), order + " after step " + step);
            }
            NativeAIBridge.terminate();
        }));
    }

    @Test
    void everyMethodGivesItsDefaultAfterTerminate() {
        Modules.load(Modules.TARROWBY);
        NativeAIBridge.terminate();
        assertAll(UnloadedBridgeTest.callEveryForwardedMethod());
    }

    @Test
    void nullTextReachesNoModuleFunction() {
        Modules.load(Modules.TARROWBY);
        // The sample module answers true for initialize: false here is the
        // default of a call that never reached it.
        assertTrue(NativeAIBridge.initialize("x"));
        assertFalse(NativeAIBridge.initialize(null));
        assertFalse(NativeAIBridge.newGameCreated(null, 1));
        NativeAIBridge.setAIUsername(null);
        NativeAIBridge.setOpponentUsername(null);
        assertEquals("Tarrowby", NativeAIBridge.getPublicName(), "the module still answers");
    }

    @Test
    void moveArraysOfLengthZeroToFourAreLeftAsTheyAre() {
        Modules.load(Modules.TARROWBY);
        for (int length = 0; length < 5; length++) {
            byte[] move = new byte[length];
            Arrays.fill(move, (byte) 7);
            byte[] original = move.clone();
            NativeAIBridge.getAIMove(move);
            assertArrayEquals(original, move, "getAIMove, length " + length);
            assertFalse(NativeAIBridge.illegalMove(move), "illegalMove, length " + length);
            assertArrayEquals(original, move, "illegalMove, length " + length);
        }
        byte[] move = new byte[5];
        NativeAIBridge.getAIMove(move);
        assertArrayEquals(new byte[] {1, 2, 3, 4, 0}, move, "the module still answers");
    }

    /** A library that exports no module function: it loads and gives defaults. */
    @Test
    void aLibraryThatIsNoModuleLoadsAndGivesDefaults() throws IOException {
        Path bridge;
        try (Stream<Path> files = Files.list(Paths.get(System.getProperty("java.library.path")))) {
            bridge = files.filter(file -> file.getFileName().toString().contains("vantrell"))
                    .min(Comparator.naturalOrder())
                    .orElseThrow();
        }
        assertTrue(NativeAIBridge.initializeLibrary(bridge.toString()), "initializeLibrary(" + bridge + ")");
        assertEquals(-1, NativeAIBridge.getAISetupPiece(0, 0));
        assertNull(NativeAIBridge.getPublicName());
        byte[] move = {5, 5, 5, 5, 5};
        NativeAIBridge.getAIMove(move);
        assertArrayEquals(new byte[] {5, 5, 5, 5, 5}, move);
    }
}
