package com.quenbrook.ravo.tessel.ai;

/**
 * The host's door to a native AI module. The native library {@code vantrell}
 * loads one module by path ({@link #initializeLibrary}) and forwards every
 * other call to the module function of the same name. No method throws on
 * the module's account: a missing module or function shows only as the
 * method's default result (false, 0, -1 for {@link #getAISetupPiece}, null,
 * or nothing). Call from one thread at a time.
 */
public final class NativeAIBridge {
    static {
        System.loadLibrary("vantrell");
    }

    private NativeAIBridge() {}

    /** Loads the AI module at {@code path}; true when it loaded. */
    public static native boolean initializeLibrary(String path);

    /** Calls the module's terminate, then unloads the module. */
    public static native void terminate();

    public static native boolean initialize(String text);

    public static native boolean createGame();

    public static native boolean joinGame();

    public static native void gameCreated();

    public static native void gameJoined();

    public static native int getCreateGameMode();

    public static native int getCreateGameOption(int option);

    public static native boolean newGameCreated(String owner, int mode);

    public static native boolean newGameOption(int option, int value);

    public static native void setAIUsername(String name);

    public static native void setOpponentUsername(String name);

    public static native boolean setGameMode(int mode);

    public static native boolean setGameOption(int option, int value);

    public static native void setGameAids(boolean aids);

    public static native boolean setSkillLevel(int level);

    public static native boolean setMoveTimeLimit(int limit);

    public static native boolean setCustomPieceCount(
            int count1, int count2, int count3, int count4, int count5, int count6,
            int count7, int count8, int count9, int count10, int count11, int count12);

    public static native void initializeGame();

    public static native void createAISetup(int color);

    /** The piece for a square; -1 when no module answers. */
    public static native int getAISetupPiece(int x, int y);

    public static native void illegalSetup(int x, int y, int rank);

    public static native void setOpponentSetupPiece(int first, int second);

    public static native void startGame();

    /** Fills elements 0 to 4 of {@code move} with the module's move. */
    public static native void getAIMove(byte[] move);

    /** Reports the move in elements 0 to 4 of {@code move} as illegal. */
    public static native boolean illegalMove(byte[] move);

    public static native boolean submitAIMoveResult(int rank, int result);

    public static native boolean submitOpponentMove(
            int fromX, int fromY, int toX, int toY, int rank, int result);

    public static native void endGame(int result, int reason);

    public static native void abortGame(int reason);

    public static native String getPublicName();

    public static native String getPreGameChat();

    public static native String getPostGameChat();

    public static native void postGameLogStart();

    public static native void postGameLogOriginalOpponentSetup(int x, int y, int rank);

    public static native void postGameLogClose();
}
