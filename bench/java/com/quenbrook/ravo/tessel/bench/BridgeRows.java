package com.quenbrook.ravo.tessel.bench;

import static com.quenbrook.ravo.tessel.bench.Calls.*;

import com.quenbrook.ravo.tessel.ai.NativeAIBridge;
import com.quenbrook.ravo.tessel.bench.Row.Slot;
import java.util.List;

/** The floor and the rows that go through the bridge. */
final class BridgeRows {
    private BridgeRows() {}

    static Row floor() {
        return Row.of(Row.FLOOR_FUNCTION, Row.FLOOR, Slot.ANY, calls -> {
            for (int i = 0; i < calls; i++)
                BareNative.nothing();
            return calls;
        }, () -> true);
    }

    /** The numeric call, against whichever module the slot holds. */
    private static long setSkillLevels(int calls) {
        long sum = 0;
        for (int i = 0; i < calls; i++)
            if (NativeAIBridge.setSkillLevel(i & 7))
                sum++;
        return sum;
    }

    static List<Row> rows() {
        return List.of(
                Row.of(SET_SKILL_LEVEL, Row.BRIDGE, Slot.LOADED, BridgeRows::setSkillLevels, () -> NativeAIBridge.setSkillLevel(3)),
                Row.of(SUBMIT_OPPONENT_MOVE, Row.BRIDGE, Slot.LOADED, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if (NativeAIBridge.submitOpponentMove(i & 7, 1, 2, 3, 4, 5))
                            sum++;
                    return sum;
                }, () -> NativeAIBridge.submitOpponentMove(0, 1, 2, 3, 4, 5)
                        && !NativeAIBridge.submitOpponentMove(2, 3, 2, 3, 4, 5)),
                Row.of(INITIALIZE, Row.BRIDGE, Slot.LOADED, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if (NativeAIBridge.initialize(TEXT))
                            sum++;
                    return sum;
                }, () -> NativeAIBridge.initialize(TEXT) && !NativeAIBridge.initialize("")),
                Row.of(GET_PUBLIC_NAME, Row.BRIDGE, Slot.LOADED, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        sum += NativeAIBridge.getPublicName().length();
                    return sum;
                }, () -> PUBLIC_NAME.equals(NativeAIBridge.getPublicName())),
                Row.of(GET_AI_MOVE, Row.BRIDGE, Slot.LOADED, calls -> {
                    byte[] move = new byte[5];
                    long sum = 0;
                    for (int i = 0; i < calls; i++) {
                        NativeAIBridge.getAIMove(move);
                        sum += move[4];
                    }
                    return sum;
                }, () -> {
                    byte[] move = new byte[5];
                    NativeAIBridge.getAIMove(move);
                    return isQuietMove(move);
                }),
                Row.of(SET_SKILL_LEVEL, Row.BRIDGE_EMPTY_SLOT, Slot.EMPTY, BridgeRows::setSkillLevels, () -> !NativeAIBridge.setSkillLevel(3)),
                Row.of(SET_SKILL_LEVEL, Row.BRIDGE_LARGE, Slot.LOADED_LARGE, BridgeRows::setSkillLevels, () -> NativeAIBridge.setSkillLevel(3)),
                Row.comparedWith(SET_SKILL_LEVEL, SET_MOVE_TIME_LIMIT, Row.BRIDGE_MISSING, Slot.LOADED, calls -> {
                    long sum = 0;
                    for (int i = 0; i < calls; i++)
                        if (NativeAIBridge.setMoveTimeLimit(i & 7))
                            sum++;
                    return sum;
                }, () -> !NativeAIBridge.setMoveTimeLimit(3)));
    }
}
