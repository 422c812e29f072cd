package com.quenbrook.ravo.tessel.demo;

import com.quenbrook.ravo.tessel.ai.NativeAIBridge;

import java.io.PrintStream;

/**
 * Plays one fixed session against an AI module through {@link NativeAIBridge}
 * and prints one line per call: what the host sent and what came back.
 *
 * <p>Usage: {@code DemoHost [modulePath]}; without an argument the path comes
 * from the system property {@value #MODULE_PROPERTY}.
 *
 * <p>A module that logs its calls to the same standard output shows each of
 * its lines just before the host's line for that call, because every host
 * line is written after the call has returned and is flushed at once. The
 * session has no randomness and no timing, so its transcript is the same on
 * every run and can be compared byte for byte.
 *
 * <p>A module call that has not returned after {@value #CALL_LIMIT_PROPERTY}
 * seconds (default 10) ends the demo with exit status 4 and a line on
 * standard error that names the call. Played out of process
 * ({@code -Dvantrell.isolation=process} or {@code sandbox}), the bridge keeps
 * that limit itself ({@code -Dvantrell.callTimeout}, unless the host set it):
 * the call returns its default when the limit has passed, and the demo then
 * ends. In process, where nothing can stop a call, a watchdog thread looks
 * at what the session's thread is running and ends the process.
 */
public final class DemoHost {
    /** The system property naming the module when no argument is given. */
    public static final String MODULE_PROPERTY = "tessel.demo.module";
    /** The system property giving the seconds a module call may take. */
    public static final String CALL_LIMIT_PROPERTY = "tessel.demo.callLimit";

    private static final int BOARD_WIDTH = 10;
    private static final int SETUP_ROWS = 4;
    private static final int ROUNDS = 3;

    /** The opponent's pieces the demo tells about: x, y, rank. */
    private static final int[][] OPPONENT_SETUP = {
        {0, 6, 2}, {1, 6, 3}, {2, 6, 9}, {3, 6, 11},
    };

    /** Twelve counts for a 40-square setup, one per piece kind. */
    private static final int[] PIECE_COUNTS = {1, 1, 2, 3, 4, 4, 4, 5, 8, 1, 6, 1};

    private final PrintStream out;
    /** Out of process, the bridge's limit on a call in milliseconds; 0 in process. */
    private static long callLimitMillis;
    private long lastStep = System.nanoTime();

    private DemoHost(PrintStream out) {
        this.out = out;
    }

    public static void main(String[] args) {
        String module = args.length > 0 ? args[0] : System.getProperty(MODULE_PROPERTY);
        if (module == null || module.isEmpty()) {
            System.err.println("usage: DemoHost <module path>  (or -D" + MODULE_PROPERTY + "=<module path>)");
            System.exit(2);
        }
        int limit = Integer.getInteger(CALL_LIMIT_PROPERTY, 10);
        String isolation = System.getProperty("vantrell.isolation", "inprocess");
        if ((isolation.equals("process") || isolation.equals("sandbox"))
                && System.getProperty("vantrell.callTimeout") == null)
            System.setProperty("vantrell.callTimeout", String.valueOf(limit * 1000L));
        callLimitMillis = isolation.equals("inprocess") ? 0 : Long.getLong("vantrell.callTimeout", 0L);
        if (callLimitMillis <= 0)
            watch(Thread.currentThread(), limit);
        if (!NativeAIBridge.initializeLibrary(module)) {
            System.err.println("DemoHost: could not load the AI module at " + module);
            System.exit(3);
        }
        new DemoHost(System.out).play();
    }

    /**
     * Ends the process when {@code session} has been inside one native
     * method of the bridge, that is inside the module, for longer than
     * {@code seconds}, naming that method. Sampled every 50 ms: a call seen
     * at every sample for the whole limit is taken as one call that hangs.
     */
    private static void watch(Thread session, int seconds) {
        Thread watchdog = new Thread(() -> {
            String call = null;
            long since = 0;
            while (session.isAlive()) {
                StackTraceElement[] stack = session.getStackTrace();
                String now = stack.length > 0 && stack[0].isNativeMethod()
                        && stack[0].getClassName().equals(NativeAIBridge.class.getName())
                        ? stack[0].getMethodName() : null;
                long time = System.nanoTime();
                if (now == null || !now.equals(call)) {
                    call = now;
                    since = time;
                } else if (time - since > seconds * 1_000_000_000L) {
                    System.err.println("DemoHost: the module's " + call + " did not return within " + seconds
                            + " s: the demo ends here");
                    System.err.flush();
                    Runtime.getRuntime().halt(4);
                }
                try {
                    Thread.sleep(50);
                } catch (InterruptedException e) {
                    return;
                }
            }
        }, "module call watchdog");
        watchdog.setDaemon(true);
        watchdog.start();
    }

    /** The whole session after the module has been loaded. */
    private void play() {
        // The path differs between machines; the transcript must not.
        step("initializeLibrary(module)", true);

        step("initialize(\"demo host 1.0\")", NativeAIBridge.initialize("demo host 1.0"));
        step("getPublicName()", quoted(NativeAIBridge.getPublicName()));
        NativeAIBridge.setAIUsername("tarrowby-bot");
        step("setAIUsername(\"tarrowby-bot\")");
        NativeAIBridge.setOpponentUsername("alice");
        step("setOpponentUsername(\"alice\")");
        step("getPreGameChat()", quoted(NativeAIBridge.getPreGameChat()));

        createGame();
        setUpBoard();
        playRounds();
        finish();

        NativeAIBridge.terminate();
        step("terminate()");
        // Printed after the unload, so a detach line seen after this one
        // would mean the module stayed mapped until the process ended.
        step("session over");
    }

    private void createGame() {
        step("createGame()", NativeAIBridge.createGame());
        step("getCreateGameMode()", NativeAIBridge.getCreateGameMode());
        for (int option = 1; option <= 2; option++) {
            step("getCreateGameOption(" + option + ")", NativeAIBridge.getCreateGameOption(option));
        }
        step("joinGame()", NativeAIBridge.joinGame());
        step("newGameCreated(\"alice\", 1)", NativeAIBridge.newGameCreated("alice", 1));
        step("newGameOption(1, 1)", NativeAIBridge.newGameOption(1, 1));
        step("newGameOption(2, 0)", NativeAIBridge.newGameOption(2, 0));
        NativeAIBridge.gameJoined();
        step("gameJoined()");

        step("setGameMode(1)", NativeAIBridge.setGameMode(1));
        step("setGameOption(1, 1)", NativeAIBridge.setGameOption(1, 1));
        step("setGameOption(2, 0)", NativeAIBridge.setGameOption(2, 0));
        NativeAIBridge.setGameAids(true);
        step("setGameAids(true)");
        step("setSkillLevel(3)", NativeAIBridge.setSkillLevel(3));
        step("setMoveTimeLimit(30)", NativeAIBridge.setMoveTimeLimit(30));
        int[] c = PIECE_COUNTS;
        boolean counts = NativeAIBridge.setCustomPieceCount(
                c[0], c[1], c[2], c[3], c[4], c[5], c[6], c[7], c[8], c[9], c[10], c[11]);
        step("setCustomPieceCount(" + join(c) + ")", counts);
    }

    private void setUpBoard() {
        NativeAIBridge.initializeGame();
        step("initializeGame()");
        NativeAIBridge.createAISetup(0);
        step("createAISetup(0)");
        for (int y = 0; y < SETUP_ROWS; y++) {
            for (int x = 0; x < BOARD_WIDTH; x++) {
                step("getAISetupPiece(" + x + ", " + y + ")", NativeAIBridge.getAISetupPiece(x, y));
            }
        }
        NativeAIBridge.illegalSetup(4, 1, 9);
        step("illegalSetup(4, 1, 9)");
        // The demo tells each opponent piece as a square number and a rank.
        for (int[] piece : OPPONENT_SETUP) {
            int square = piece[1] * BOARD_WIDTH + piece[0];
            NativeAIBridge.setOpponentSetupPiece(square, piece[2]);
            step("setOpponentSetupPiece(" + square + ", " + piece[2] + ")");
        }
        NativeAIBridge.startGame();
        step("startGame()");
    }

    private void playRounds() {
        for (int round = 0; round < ROUNDS; round++) {
            askForMove();
            step("submitAIMoveResult(4, " + round % 2 + ")", NativeAIBridge.submitAIMoveResult(4, round % 2));
            // The opponent's scout goes forward on even rounds and back on odd ones.
            int fromY = round % 2 == 0 ? 6 : 5;
            int toY = round % 2 == 0 ? 5 : 6;
            String call = "submitOpponentMove(2, " + fromY + ", 2, " + toY + ", 9, 0)";
            step(call, NativeAIBridge.submitOpponentMove(2, fromY, 2, toY, 9, 0));
        }
        // A move byte above 127 is negative in Java and must reach the
        // module as the same unsigned byte.
        byte[] illegal = {1, 2, 3, 4, (byte) 200};
        String sent = bytes(illegal);
        step("illegalMove(" + sent + ")", NativeAIBridge.illegalMove(illegal));
        askForMove();
    }

    private void askForMove() {
        byte[] move = new byte[5];
        String sent = bytes(move);
        NativeAIBridge.getAIMove(move);
        step("getAIMove(" + sent + ")", bytes(move));
    }

    private void finish() {
        NativeAIBridge.endGame(1, 0);
        step("endGame(1, 0)");
        step("getPostGameChat()", quoted(NativeAIBridge.getPostGameChat()));
        NativeAIBridge.postGameLogStart();
        step("postGameLogStart()");
        for (int[] piece : OPPONENT_SETUP) {
            NativeAIBridge.postGameLogOriginalOpponentSetup(piece[0], piece[1], piece[2]);
            step("postGameLogOriginalOpponentSetup(" + join(piece) + ")");
        }
        NativeAIBridge.postGameLogClose();
        step("postGameLogClose()");
    }

    private void step(String call) {
        endIfTheCallTookTheLimit(call);
        line("host: " + call);
    }

    private void step(String call, Object result) {
        endIfTheCallTookTheLimit(call);
        line("host: " + call + " -> " + result);
    }

    /**
     * Out of process: a call that took the bridge's whole limit was given up
     * (its module is gone); the demo ends as the watchdog would end it. Each
     * step follows the one call it names.
     */
    private void endIfTheCallTookTheLimit(String call) {
        long now = System.nanoTime();
        if (callLimitMillis > 0 && now - lastStep >= callLimitMillis * 1_000_000L) {
            String seconds = callLimitMillis % 1000 == 0 ? String.valueOf(callLimitMillis / 1000)
                    : String.valueOf(callLimitMillis / 1000.0);
            System.err.println("DemoHost: the module's " + call.substring(0, call.indexOf('(')) + " did not return within "
                    + seconds + " s: the demo ends here");
            System.err.flush();
            System.exit(4);
        }
        lastStep = now;
    }

    /** One whole line, flushed so it cannot fall behind the module's output. */
    private void line(String text) {
        out.println(text);
        out.flush();
    }

    private static String quoted(String text) {
        return text == null ? "null" : "\"" + text + "\"";
    }

    /** The move bytes as the module sees them: unsigned. */
    private static String bytes(byte[] move) {
        StringBuilder text = new StringBuilder("[");
        for (int i = 0; i < move.length; i++) {
            text.append(i == 0 ? "" : ", ").append(Byte.toUnsignedInt(move[i]));
        }
        return text.append(']').toString();
    }

    private static String join(int[] values) {
        StringBuilder text = new StringBuilder();
        for (int i = 0; i < values.length; i++) {
            text.append(i == 0 ? "" : ", ").append(values[i]);
        }
        return text.toString();
    }
}
