package com.quenbrook.ravo.tessel.ai;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.BeforeEach;
import org.junit.jupiter.api.Test;

/** The sample module's fixed answers as they arrive in Java. */
class TarrowbyBridgeTest {
    @BeforeEach
    void load() {
        Modules.load(Modules.TARROWBY);
    }

    @AfterEach
    void unload() {
        NativeAIBridge.terminate();
    }

    @Test
    void answersCrossAsJavaValues() {
        assertAll(
                () -> assertTrue(NativeAIBridge.initialize("test")),
                () -> assertFalse(NativeAIBridge.createGame()),
                () -> assertTrue(NativeAIBridge.newGameOption(1, 2)),
                () -> assertFalse(NativeAIBridge.newGameCreated("owner", 3)),
                () -> assertTrue(NativeAIBridge.setGameMode(1)),
                () -> assertFalse(NativeAIBridge.setCustomPieceCount(1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12)),
                () -> assertEquals(9, NativeAIBridge.getAISetupPiece(9, 3)),
                () -> assertFalse(NativeAIBridge.submitAIMoveResult(1, 2)),
                () -> assertFalse(NativeAIBridge.submitOpponentMove(1, 2, 3, 4, 5, 6)));
    }

    @Test
    void textsArriveAsJavaStrings() {
        assertEquals("Tarrowby", NativeAIBridge.getPublicName());
        assertEquals("good luck", NativeAIBridge.getPreGameChat());
        assertEquals("good game", NativeAIBridge.getPostGameChat());
        // The module hands out the same static text each time; a bridge
        // that freed it would give garbage or crash on the second call.
        assertEquals("Tarrowby", NativeAIBridge.getPublicName());
    }

    @Test
    void getAIMoveFillsTheFirstFiveBytesOnly() {
        byte[] move = {9, 9, 9, 9, 9, (byte) 0xEE, (byte) 0xEE, (byte) 0xEE};
        NativeAIBridge.getAIMove(move);
        assertArrayEquals(new byte[] {1, 2, 3, 4, 0, (byte) 0xEE, (byte) 0xEE, (byte) 0xEE}, move);
    }

    @Test
    void aMoveArrayTooShortOrNullIsRefusedWithoutHarm() {
        byte[] shortMove = {7, 7, 7, 7};
        NativeAIBridge.getAIMove(shortMove);
        assertArrayEquals(new byte[] {7, 7, 7, 7}, shortMove);
        assertFalse(NativeAIBridge.illegalMove(shortMove));
        NativeAIBridge.getAIMove(null);
        assertFalse(NativeAIBridge.illegalMove(null));
        // The module still answers after the refusals.
        byte[] move = new byte[5];
        NativeAIBridge.getAIMove(move);
        assertArrayEquals(new byte[] {1, 2, 3, 4, 0}, move);
    }

    @Test
    void aHighMoveByteSurvivesTheRoundTrip() {
        // 200 is -56 as a Java byte; the module prints it as 200 (checked by
        // the golden transcript) and must leave the host's array as it was.
        byte[] move = {1, 2, 3, 4, (byte) 200};
        assertFalse(NativeAIBridge.illegalMove(move));
        assertEquals(-56, move[4]);
        assertArrayEquals(new byte[] {1, 2, 3, 4, -56}, move);
    }

    @Test
    void terminateUnloadsAndTheModuleCanBeLoadedAgain() {
        NativeAIBridge.terminate();
        assertNull(NativeAIBridge.getPublicName());
        assertEquals(-1, NativeAIBridge.getAISetupPiece(0, 0));
        Modules.load(Modules.TARROWBY);
        assertEquals("Tarrowby", NativeAIBridge.getPublicName());
        assertEquals(9, NativeAIBridge.getAISetupPiece(0, 0));
    }
}
