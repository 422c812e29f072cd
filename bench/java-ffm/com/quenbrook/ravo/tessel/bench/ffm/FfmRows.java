package com.quenbrook.ravo.tessel.bench.ffm;

import static com.quenbrook.ravo.tessel.bench.Calls.*;
import static java.lang.foreign.ValueLayout.ADDRESS;
import static java.lang.foreign.ValueLayout.JAVA_BYTE;
import static java.lang.foreign.ValueLayout.JAVA_INT;

import com.quenbrook.ravo.tessel.bench.Row;
import com.quenbrook.ravo.tessel.bench.Row.Slot;
import java.lang.foreign.Arena;
import java.lang.foreign.FunctionDescriptor;
import java.lang.foreign.Linker;
import java.lang.foreign.MemorySegment;
import java.lang.foreign.SymbolLookup;
import java.lang.invoke.MethodHandle;
import java.nio.file.Path;
import java.util.List;
import java.util.Optional;

/**
 * The quiet module's functions called through the foreign function API
 * (JDK 22 or newer; compiled by that JDK only), by the decorated export
 * names. Each function twice: through a downcall handle bound to the
 * address once, and through an address-free handle with the symbol found
 * by name on every call, which is what the bridge does. setSkillLevel once
 * more with the library itself opened (libraryLookup) on every call.
 *
 * The handles sit in static finals, as a real caller would keep them, so
 * the compiler can treat them as constants. The module path comes from the
 * system property vantrell.bench.module.
 */
public final class FfmRows {
    private FfmRows() {}

    private static final Linker LINKER = Linker.nativeLinker();
    private static final Path MODULE_PATH = Path.of(System.getProperty("vantrell.bench.module"));
    /** Opened once and never closed, like the bridge's module slot. */
    private static final SymbolLookup MODULE = SymbolLookup.libraryLookup(MODULE_PATH, Arena.global());

    private static final FunctionDescriptor INT_OF_INT = FunctionDescriptor.of(JAVA_INT, JAVA_INT);
    private static final FunctionDescriptor BYTE_OF_SIX_INTS = FunctionDescriptor.of(JAVA_BYTE,
            JAVA_INT, JAVA_INT, JAVA_INT, JAVA_INT, JAVA_INT, JAVA_INT);
    private static final FunctionDescriptor INT_OF_TEXT = FunctionDescriptor.of(JAVA_INT, ADDRESS);
    private static final FunctionDescriptor TEXT_OF_NOTHING = FunctionDescriptor.of(ADDRESS);
    private static final FunctionDescriptor VOID_OF_MOVE = FunctionDescriptor.ofVoid(ADDRESS);

    private static MethodHandle bound(String function, FunctionDescriptor descriptor) {
        return LINKER.downcallHandle(MODULE.find(EXPORT_NAMES.get(function)).orElseThrow(), descriptor);
    }

    private static final MethodHandle SET_SKILL_LEVEL_BOUND = bound(SET_SKILL_LEVEL, INT_OF_INT);
    private static final MethodHandle SUBMIT_OPPONENT_MOVE_BOUND = bound(SUBMIT_OPPONENT_MOVE, BYTE_OF_SIX_INTS);
    private static final MethodHandle INITIALIZE_BOUND = bound(INITIALIZE, INT_OF_TEXT);
    private static final MethodHandle GET_PUBLIC_NAME_BOUND = bound(GET_PUBLIC_NAME, TEXT_OF_NOTHING);
    private static final MethodHandle GET_AI_MOVE_BOUND = bound(GET_AI_MOVE, VOID_OF_MOVE);

    // Address-free handles: the function's address is their first argument.
    private static final MethodHandle INT_OF_INT_AT = LINKER.downcallHandle(INT_OF_INT);
    private static final MethodHandle BYTE_OF_SIX_INTS_AT = LINKER.downcallHandle(BYTE_OF_SIX_INTS);
    private static final MethodHandle INT_OF_TEXT_AT = LINKER.downcallHandle(INT_OF_TEXT);
    private static final MethodHandle TEXT_OF_NOTHING_AT = LINKER.downcallHandle(TEXT_OF_NOTHING);
    private static final MethodHandle VOID_OF_MOVE_AT = LINKER.downcallHandle(VOID_OF_MOVE);

    private static final String SET_SKILL_LEVEL_NAME = EXPORT_NAMES.get(SET_SKILL_LEVEL);
    private static final String SUBMIT_OPPONENT_MOVE_NAME = EXPORT_NAMES.get(SUBMIT_OPPONENT_MOVE);
    private static final String INITIALIZE_NAME = EXPORT_NAMES.get(INITIALIZE);
    private static final String GET_PUBLIC_NAME_NAME = EXPORT_NAMES.get(GET_PUBLIC_NAME);
    private static final String GET_AI_MOVE_NAME = EXPORT_NAMES.get(GET_AI_MOVE);

    /**
     * The record the module writes getAIMove's answer into, kept for the whole
     * run like the bridge's move buffer; its five bytes are copied into the
     * caller's array after each call, as the bridge does.
     */
    private static final MemorySegment MOVE_BUFFER = Arena.global().allocate(5);

    /** A C string made for one call and freed after it, as the bridge borrows the VM's copy. */
    private static int initializeBound(String text) throws Throwable {
        try (Arena call = Arena.ofConfined()) {
            return (int) INITIALIZE_BOUND.invokeExact(call.allocateFrom(text));
        }
    }

    private static int initializeFound(String text) throws Throwable {
        Optional<MemorySegment> function = MODULE.find(INITIALIZE_NAME);
        if (function.isEmpty())
            return 0;
        try (Arena call = Arena.ofConfined()) {
            return (int) INT_OF_TEXT_AT.invokeExact(function.get(), call.allocateFrom(text));
        }
    }

    // The module keeps its text; the caller gets a new string made from it.
    private static String javaString(MemorySegment text) {
        return text.equals(MemorySegment.NULL) ? null : text.reinterpret(Long.MAX_VALUE).getString(0);
    }

    private static String getPublicNameBound() throws Throwable {
        return javaString((MemorySegment) GET_PUBLIC_NAME_BOUND.invokeExact());
    }

    private static String getPublicNameFound() throws Throwable {
        Optional<MemorySegment> function = MODULE.find(GET_PUBLIC_NAME_NAME);
        if (function.isEmpty())
            return null;
        return javaString((MemorySegment) TEXT_OF_NOTHING_AT.invokeExact(function.get()));
    }

    private static void getAIMoveBound(byte[] move) throws Throwable {
        GET_AI_MOVE_BOUND.invokeExact(MOVE_BUFFER);
        MemorySegment.copy(MOVE_BUFFER, JAVA_BYTE, 0, move, 0, 5);
    }

    private static void getAIMoveFound(byte[] move) throws Throwable {
        Optional<MemorySegment> function = MODULE.find(GET_AI_MOVE_NAME);
        if (function.isEmpty())
            return;
        VOID_OF_MOVE_AT.invokeExact(function.get(), MOVE_BUFFER);
        MemorySegment.copy(MOVE_BUFFER, JAVA_BYTE, 0, move, 0, 5);
    }

    private static int setSkillLevelFound(int level) throws Throwable {
        Optional<MemorySegment> function = MODULE.find(SET_SKILL_LEVEL_NAME);
        return function.isEmpty() ? 0 : (int) INT_OF_INT_AT.invokeExact(function.get(), level);
    }

    private static int setSkillLevelReopened(int level) throws Throwable {
        try (Arena library = Arena.ofConfined()) {
            Optional<MemorySegment> function =
                    SymbolLookup.libraryLookup(MODULE_PATH, library).find(SET_SKILL_LEVEL_NAME);
            return function.isEmpty() ? 0 : (int) INT_OF_INT_AT.invokeExact(function.get(), level);
        }
    }

    private static byte submitOpponentMoveFound(int fromX, int fromY, int toX, int toY, int rank, int result)
            throws Throwable {
        Optional<MemorySegment> function = MODULE.find(SUBMIT_OPPONENT_MOVE_NAME);
        return function.isEmpty() ? 0
                : (byte) BYTE_OF_SIX_INTS_AT.invokeExact(function.get(), fromX, fromY, toX, toY, rank, result);
    }

    public static String version() {
        return "java.lang.foreign of " + Runtime.version();
    }

    public static List<Row> rows() {
        return List.of(
                Row.of(SET_SKILL_LEVEL, Row.FFM_CACHED, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if ((int) SET_SKILL_LEVEL_BOUND.invokeExact(i & 7) != 0)
                            sum++;
                    return sum;
                }, () -> (int) SET_SKILL_LEVEL_BOUND.invokeExact(3) != 0),
                Row.of(SET_SKILL_LEVEL, Row.FFM_FIND, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if (setSkillLevelFound(i & 7) != 0)
                            sum++;
                    return sum;
                }, () -> setSkillLevelFound(3) != 0),
                Row.of(SET_SKILL_LEVEL, Row.FFM_REOPEN, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if (setSkillLevelReopened(i & 7) != 0)
                            sum++;
                    return sum;
                }, () -> setSkillLevelReopened(3) != 0),
                Row.of(SUBMIT_OPPONENT_MOVE, Row.FFM_CACHED, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if ((byte) SUBMIT_OPPONENT_MOVE_BOUND.invokeExact(i & 7, 1, 2, 3, 4, 5) != 0)
                            sum++;
                    return sum;
                }, () -> (byte) SUBMIT_OPPONENT_MOVE_BOUND.invokeExact(0, 1, 2, 3, 4, 5) != 0
                        && (byte) SUBMIT_OPPONENT_MOVE_BOUND.invokeExact(2, 3, 2, 3, 4, 5) == 0),
                Row.of(SUBMIT_OPPONENT_MOVE, Row.FFM_FIND, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if (submitOpponentMoveFound(i & 7, 1, 2, 3, 4, 5) != 0)
                            sum++;
                    return sum;
                }, () -> submitOpponentMoveFound(0, 1, 2, 3, 4, 5) != 0
                        && submitOpponentMoveFound(2, 3, 2, 3, 4, 5) == 0),
                Row.of(INITIALIZE, Row.FFM_CACHED, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if (initializeBound(TEXT) != 0)
                            sum++;
                    return sum;
                }, () -> initializeBound(TEXT) != 0 && initializeBound("") == 0),
                Row.of(INITIALIZE, Row.FFM_FIND, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if (initializeFound(TEXT) != 0)
                            sum++;
                    return sum;
                }, () -> initializeFound(TEXT) != 0 && initializeFound("") == 0),
                Row.of(GET_PUBLIC_NAME, Row.FFM_CACHED, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        sum += getPublicNameBound().length();
                    return sum;
                }, () -> PUBLIC_NAME.equals(getPublicNameBound())),
                Row.of(GET_PUBLIC_NAME, Row.FFM_FIND, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        sum += getPublicNameFound().length();
                    return sum;
                }, () -> PUBLIC_NAME.equals(getPublicNameFound())),
                Row.of(GET_AI_MOVE, Row.FFM_CACHED, Slot.ANY, calls -> {
                    byte[] move = new byte[5];
                    long sum = 0;
                    for (int i = 0; i < calls; i++) {
                        getAIMoveBound(move);
                        sum += move[4];
                    }
                    return sum;
                }, () -> {
                    byte[] move = new byte[5];
                    getAIMoveBound(move);
                    return isQuietMove(move);
                }),
                Row.of(GET_AI_MOVE, Row.FFM_FIND, Slot.ANY, calls -> {
                    byte[] move = new byte[5];
                    long sum = 0;
                    for (int i = 0; i < calls; i++) {
                        getAIMoveFound(move);
                        sum += move[4];
                    }
                    return sum;
                }, () -> {
                    byte[] move = new byte[5];
                    getAIMoveFound(move);
                    return isQuietMove(move);
                }));
    }
}
