package com.quenbrook.ravo.tessel.bench.jna;

import static com.quenbrook.ravo.tessel.bench.Calls.*;

import com.quenbrook.ravo.tessel.bench.Row;
import com.quenbrook.ravo.tessel.bench.Row.Slot;
import com.sun.jna.Function;
import com.sun.jna.FunctionMapper;
import com.sun.jna.Library;
import com.sun.jna.Native;
import com.sun.jna.NativeLibrary;
import java.util.List;
import java.util.Map;

/**
 * The quiet module's functions called from Java through JNA, by the same
 * decorated export names the bridge looks up: once through direct mapping
 * (static native methods bound by JNA), once through Function objects found
 * once and invoked with an argument array.
 */
public final class JnaRows {
    private JnaRows() {}

    // dlopen flags: the bridge's RTLD_NOW | RTLD_LOCAL, so that opening the
    // module through JNA does not put its exports in the global scope.
    private static final int RTLD_NOW = 2;

    /** The direct-mapped functions; JNA binds them in {@link #rows}. */
    static final class Direct {
        private Direct() {}

        static native int setSkillLevel(int level);

        static native byte submitOpponentMove(int fromX, int fromY, int toX, int toY, int rank, int result);

        static native int initialize(String text);

        static native String getPublicName();

        static native void getAIMove(byte[] move);
    }

    /** JNA's version, its native part's version and where its classes came from. */
    public static String version() {
        return Native.VERSION + " (native " + Native.VERSION_NATIVE + ", jar "
                + Native.class.getProtectionDomain().getCodeSource().getLocation().getPath() + ")";
    }

    public static List<Row> rows(String modulePath) {
        FunctionMapper decorated = (library, method) -> EXPORT_NAMES.get(method.getName());
        NativeLibrary library = NativeLibrary.getInstance(modulePath, Map.of(
                Library.OPTION_FUNCTION_MAPPER, decorated,
                Library.OPTION_OPEN_FLAGS, RTLD_NOW));
        Native.register(Direct.class, library);

        Function setSkillLevel = library.getFunction(EXPORT_NAMES.get(SET_SKILL_LEVEL));
        Function submitOpponentMove = library.getFunction(EXPORT_NAMES.get(SUBMIT_OPPONENT_MOVE));
        Function initialize = library.getFunction(EXPORT_NAMES.get(INITIALIZE));
        Function getPublicName = library.getFunction(EXPORT_NAMES.get(GET_PUBLIC_NAME));
        Function getAIMove = library.getFunction(EXPORT_NAMES.get(GET_AI_MOVE));
        Object[] none = new Object[0];

        return List.of(
                Row.of(SET_SKILL_LEVEL, Row.JNA_DIRECT, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if (Direct.setSkillLevel(i & 7) != 0)
                            sum++;
                    return sum;
                }, () -> Direct.setSkillLevel(3) != 0),
                Row.of(SET_SKILL_LEVEL, Row.JNA_FUNCTION, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if (setSkillLevel.invokeInt(new Object[] {i & 7}) != 0)
                            sum++;
                    return sum;
                }, () -> setSkillLevel.invokeInt(new Object[] {3}) != 0),
                Row.of(SUBMIT_OPPONENT_MOVE, Row.JNA_DIRECT, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if (Direct.submitOpponentMove(i & 7, 1, 2, 3, 4, 5) != 0)
                            sum++;
                    return sum;
                }, () -> Direct.submitOpponentMove(0, 1, 2, 3, 4, 5) != 0
                        && Direct.submitOpponentMove(2, 3, 2, 3, 4, 5) == 0),
                // The answer is one byte: only the low 8 bits of the int JNA reads mean anything.
                Row.of(SUBMIT_OPPONENT_MOVE, Row.JNA_FUNCTION, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if ((byte) submitOpponentMove.invokeInt(new Object[] {i & 7, 1, 2, 3, 4, 5}) != 0)
                            sum++;
                    return sum;
                }, () -> (byte) submitOpponentMove.invokeInt(new Object[] {0, 1, 2, 3, 4, 5}) != 0
                        && (byte) submitOpponentMove.invokeInt(new Object[] {2, 3, 2, 3, 4, 5}) == 0),
                Row.of(INITIALIZE, Row.JNA_DIRECT, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if (Direct.initialize(TEXT) != 0)
                            sum++;
                    return sum;
                }, () -> Direct.initialize(TEXT) != 0 && Direct.initialize("") == 0),
                Row.of(INITIALIZE, Row.JNA_FUNCTION, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if (initialize.invokeInt(new Object[] {TEXT}) != 0)
                            sum++;
                    return sum;
                }, () -> initialize.invokeInt(new Object[] {TEXT}) != 0
                        && initialize.invokeInt(new Object[] {""}) == 0),
                Row.of(GET_PUBLIC_NAME, Row.JNA_DIRECT, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        sum += Direct.getPublicName().length();
                    return sum;
                }, () -> PUBLIC_NAME.equals(Direct.getPublicName())),
                Row.of(GET_PUBLIC_NAME, Row.JNA_FUNCTION, Slot.ANY, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        sum += getPublicName.invokeString(none, false).length();
                    return sum;
                }, () -> PUBLIC_NAME.equals(getPublicName.invokeString(none, false))),
                Row.of(GET_AI_MOVE, Row.JNA_DIRECT, Slot.ANY, calls -> {
                    byte[] move = new byte[5];
                    long sum = 0;
                    for (int i = 0; i < calls; i++) {
                        Direct.getAIMove(move);
                        sum += move[4];
                    }
                    return sum;
                }, () -> {
                    byte[] move = new byte[5];
                    Direct.getAIMove(move);
                    return isQuietMove(move);
                }),
                Row.of(GET_AI_MOVE, Row.JNA_FUNCTION, Slot.ANY, calls -> {
                    byte[] move = new byte[5];
                    Object[] arguments = {move};
                    long sum = 0;
                    for (int i = 0; i < calls; i++) {
                        getAIMove.invokeVoid(arguments);
                        sum += move[4];
                    }
                    return sum;
                }, () -> {
                    byte[] move = new byte[5];
                    getAIMove.invokeVoid(new Object[] {move});
                    return isQuietMove(move);
                }));
    }
}
