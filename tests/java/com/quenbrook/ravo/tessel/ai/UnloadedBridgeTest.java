package com.quenbrook.ravo.tessel.ai;

import static org.junit.jupiter.api.Assertions.assertAll;
import static org.junit.jupiter.api.Assertions.assertArrayEquals;
import static org.junit.jupiter.api.Assertions.assertEquals;
import static org.junit.jupiter.api.Assertions.assertFalse;
import static org.junit.jupiter.api.Assertions.assertNull;
import static org.junit.jupiter.api.Assertions.fail;

import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import org.junit.jupiter.api.AfterEach;
import org.junit.jupiter.api.MethodOrderer;
import org.junit.jupiter.api.Order;
import org.junit.jupiter.api.Test;
import org.junit.jupiter.api.TestMethodOrder;
import org.junit.jupiter.api.function.Executable;

/**
 * The bridge with no module: every native method must link under its JNI
 * name and give its default. Runs first (class order set by the build), so
 * the first test sees a bridge that has never held a module.
 */
@Order(1)
@TestMethodOrder(MethodOrderer.OrderAnnotation.class)
class UnloadedBridgeTest {
    private static final int NATIVE_METHODS = 37;
    private static final byte SENTINEL = 0x5A;

    @AfterEach
    void unload() {
        NativeAIBridge.terminate();
    }

    @Test
    @Order(1)
    void everyNativeMethodLinksAndGivesItsDefaultBeforeAnyLoad() {
        assertFalse(Modules.anyLoaded(), "a module was loaded before this test: the class order is not in effect");
        assertAll(callEveryForwardedMethod());
    }

    @Test
    @Order(2)
    void failedLoadsReturnFalseAndLeaveTheDefaults() throws Exception {
        String missing = System.getProperty("java.io.tmpdir") + "/tessel-no-such-module/libabsent.so";
        assertFalse(NativeAIBridge.initializeLibrary(missing), "nonexistent path");
        assertFalse(NativeAIBridge.initializeLibrary(""), "empty path");
        assertFalse(NativeAIBridge.initializeLibrary(null), "null path");
        // A file that exists but is no library at all.
        String notALibrary = Modules.path("tessel.test.golden");
        assertFalse(NativeAIBridge.initializeLibrary(notALibrary), "text file " + notALibrary);
        assertAll(callEveryForwardedMethod());
    }

    @Test
    @Order(3)
    void aFailedLoadAfterAnUnloadLeavesNoModuleBehind() {
        Modules.load(Modules.PARTIAL);
        assertEquals(7, NativeAIBridge.getCreateGameMode());
        NativeAIBridge.terminate();
        assertFalse(NativeAIBridge.initializeLibrary(""));
        assertEquals(0, NativeAIBridge.getCreateGameMode());
        assertFalse(NativeAIBridge.createGame());
    }

    /**
     * One check per native method but initializeLibrary, called with
     * arbitrary arguments; a move array must come back untouched.
     */
    static List<Executable> callEveryForwardedMethod() {
        List<Method> natives = new ArrayList<>();
        for (Method method : NativeAIBridge.class.getDeclaredMethods()) {
            if (Modifier.isNative(method.getModifiers())) {
                natives.add(method);
            }
        }
        List<Executable> checks = new ArrayList<>();
        checks.add(() -> assertEquals(NATIVE_METHODS, natives.size(), "native methods of NativeAIBridge"));
        for (Method method : natives) {
            if (!method.getName().equals("initializeLibrary")) {
                checks.add(() -> callWithDefaults(method));
            }
        }
        return checks;
    }

    private static void callWithDefaults(Method method) throws IllegalAccessException {
        Class<?>[] types = method.getParameterTypes();
        Object[] args = new Object[types.length];
        List<byte[]> moves = new ArrayList<>();
        for (int i = 0; i < types.length; i++) {
            if (types[i] == int.class) {
                args[i] = i + 1;
            } else if (types[i] == boolean.class) {
                args[i] = true;
            } else if (types[i] == String.class) {
                args[i] = "text";
            } else if (types[i] == byte[].class) {
                byte[] move = new byte[5];
                Arrays.fill(move, SENTINEL);
                moves.add(move);
                args[i] = move;
            } else {
                fail(method.getName() + " has a parameter of unexpected type " + types[i]);
            }
        }
        Object result;
        try {
            result = method.invoke(null, args);
        } catch (InvocationTargetException thrown) {
            throw new AssertionError(method.getName() + " threw " + thrown.getCause(), thrown.getCause());
        }
        Class<?> type = method.getReturnType();
        if (type == boolean.class) {
            assertEquals(false, result, method.getName());
        } else if (type == int.class) {
            int expected = method.getName().equals("getAISetupPiece") ? -1 : 0;
            assertEquals(expected, result, method.getName());
        } else if (type == String.class) {
            assertNull(result, method.getName());
        } else if (type != void.class) {
            fail(method.getName() + " returns unexpected type " + type);
        }
        byte[] untouched = new byte[5];
        Arrays.fill(untouched, SENTINEL);
        for (byte[] move : moves) {
            assertArrayEquals(untouched, move, method.getName() + " wrote into the move array");
        }
    }
}
