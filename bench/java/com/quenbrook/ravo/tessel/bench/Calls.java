package com.quenbrook.ravo.tessel.bench;

import java.util.Map;

/**
 * What every path calls: the functions, their export names, the arguments
 * and the quiet module's answers (bench/quiet_module.c), the same for the
 * bridge, JNA and the foreign function API.
 */
public final class Calls {
    private Calls() {}

    public static final String SET_SKILL_LEVEL = "setSkillLevel";
    public static final String SUBMIT_OPPONENT_MOVE = "submitOpponentMove";
    public static final String INITIALIZE = "initialize";
    public static final String GET_PUBLIC_NAME = "getPublicName";
    public static final String GET_AI_MOVE = "getAIMove";
    /** Not exported by the quiet module. */
    public static final String SET_MOVE_TIME_LIMIT = "setMoveTimeLimit";

    /** The decorated export names, as in ai_module.h. */
    public static final Map<String, String> EXPORT_NAMES = Map.of(
            SET_SKILL_LEVEL, "_setSkillLevel@4",
            SUBMIT_OPPONENT_MOVE, "_submitOpponentMove@24",
            INITIALIZE, "_initialize@4",
            GET_PUBLIC_NAME, "_getPublicName@0",
            GET_AI_MOVE, "_getAIMove@4",
            SET_MOVE_TIME_LIMIT, "_setMoveTimeLimit@4");

    /** initialize's argument: a short text of the kind a host passes. */
    public static final String TEXT = "player=bench; level=3; clock=1000";

    public static final String PUBLIC_NAME = "Quiet benchmark module";

    /** The move the quiet module plays; its fifth byte counts the calls. */
    public static boolean isQuietMove(byte[] move) {
        return move[0] == 1 && move[1] == 2 && move[2] == 1 && move[3] == 3;
    }
}
