package com.quenbrook.ravo.tessel.ai;

import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.assertTrue;

import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.Nested;
import org.junit.jupiter.api.Test;

/** Modules that export only some functions, or misbehave in one. */
class SmallModulesTest {
    @AfterEach
    void unload() {
        NativeAIBridge.terminate();
    }

    @Nested
    class PartialModule {
        @Test
        void truthsOtherThanOneAreTrue() {
            Modules.load(Modules.PARTIAL);
            // createGame answers 5, joinGame 256: a bridge that kept only the
            // low byte would make joinGame false.
            assertTrue(NativeAIBridge.createGame());
            assertTrue(NativeAIBridge.joinGame());
        }

        @Test
        void valuesPassAsNumbers() {
            Modules.load(Modules.PARTIAL);
            assertEquals(7, NativeAIBridge.getCreateGameMode());
            assertEquals(40, NativeAIBridge.getCreateGameOption(4));
            assertEquals(-30, NativeAIBridge.getCreateGameOption(-3));
        }

        @Test
        void missingFunctionsGiveDefaults() {
            Modules.load(Modules.PARTIAL);
            assertEquals(-1, NativeAIBridge.getAISetupPiece(0, 0));
            assertNull(NativeAIBridge.getPublicName());
            assertFalse(NativeAIBridge.setSkillLevel(3));
            assertFalse(NativeAIBridge.initialize("text"));
            byte[] move = {6, 6, 6, 6, 6};
            NativeAIBridge.getAIMove(move);
            assertArrayEquals(new byte[] {6, 6, 6, 6, 6}, move);
            NativeAIBridge.endGame(1, 0);
            // The module is still there after the missing calls.
            assertEquals(7, NativeAIBridge.getCreateGameMode());
        }

        @Test
        void terminateUnloadsWithoutAModuleTerminate() {
            Modules.load(Modules.PARTIAL);
            NativeAIBridge.terminate();
            assertFalse(NativeAIBridge.createGame());
            assertEquals(0, NativeAIBridge.getCreateGameMode());
        }
    }

    @Nested
    class WideBoolModule {
        @Test
        void oneByteTruthsAreJudgedOnTheLowByte() {
            Modules.load(Modules.WIDE_BOOL);
            // Registers 0x12A7, 0x7F00 and 0x5501: low bytes 0xA7, 0x00, 0x01.
            assertTrue(NativeAIBridge.submitAIMoveResult(1, 2));
            assertFalse(NativeAIBridge.submitOpponentMove(1, 2, 3, 4, 5, 6));
            assertTrue(NativeAIBridge.illegalMove(new byte[] {1, 2, 3, 4, 5}));
        }

        @Test
        void aNonCanonicalTrueBehavesAsTrueInJava() {
            Modules.load(Modules.WIDE_BOOL);
            boolean answer = NativeAIBridge.submitAIMoveResult(1, 2);
            // Unless the VM normalised 0xA7 to 1, negating it by flipping
            // the low bit would give 0xA6, another true.
            assertFalse(!answer);
            assertFalse(answer ^ true);
        }
    }

    @Nested
    class ThrowingModule {
        @Test
        void anExceptionInTheModuleStaysInTheBridge() {
            Modules.load(Modules.THROWING);
            NativeAIBridge.endGame(1, 2);
            assertEquals(42, NativeAIBridge.getCreateGameOption(41));
            NativeAIBridge.endGame(0, 0);
            assertEquals(1, NativeAIBridge.getCreateGameOption(0));
        }
    }
}
