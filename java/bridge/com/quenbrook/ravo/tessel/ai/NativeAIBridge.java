package com.quenbrook.ravo.tessel.ai;

/**
 * The host's door to a native AI module: the Java side of the native
 * library {@code vantrell}.
 *
 * <p>{@link #initializeLibrary} loads one module by path; every other method
 * looks up the module function of the same name ({@code "_abortGame@4"} and
 * so on) at the moment of the call, calls it with the arguments unchanged
 * and in order, and hands its answer back. No method throws on the module's
 * account: when no module is loaded, or the module lacks the function, the
 * method gives its <em>default result</em> without calling anything (false,
 * 0, -1 for {@link #getAISetupPiece}, null, or nothing), and so does bad
 * input from the host (a null string or array, a move array shorter than
 * five elements). Call the methods from one thread at a time.
 *
 * <p><b>Moves</b> travel as the first five elements of a {@code byte[]}:
 * {@code fromX, fromY, toX, toY, special}. The module sees unsigned bytes,
 * so a Java element of -56 is the module's 200: read them with
 * {@code b & 0xFF}. <b>Texts</b> cross in modified UTF-8; a text the host
 * passes is lent to the module for the call only. The order of the calls in
 * one game, and what each value means: the package's overview,
 * "A game, call by call".
 *
 * <p><b>Module paths.</b> {@link #initializeLibrary} hands the path to the
 * platform's loader as it is. On Linux a name without a slash
 * ({@code "libmy_player.so"}) is searched only where the system looks for
 * libraries ({@code LD_LIBRARY_PATH}, the loader's cache, {@code /lib},
 * {@code /usr/lib}), never in the working directory: give
 * {@code "./libmy_player.so"} or an absolute path; a path with a slash is
 * taken from the working directory. On Windows a name without a folder goes
 * through Windows' DLL search order, in which the working directory comes
 * after the program's folder and the system folders: give an absolute path.
 *
 * <p><b>Why a module does not load, or only gives defaults.</b> The bridge
 * tells no more than false, and a module whose companion crashed (below)
 * answers as one that lacks every function; to learn why, run the checker
 * that ships beside this jar in the host package on the module,
 * {@code aimodule-check --smoke <module>} (with {@code --sandbox} too for a
 * host started with {@code -Dvantrell.isolation=sandbox}), which gives the
 * loader's reason (a wrong path, another architecture or width, a missing
 * library, a kernel that refuses 32-bit programs, what the sandbox lacks)
 * and names each call that crashes, hangs or throws.
 *
 * <p><b>Loading the native library.</b> The class loads the bridge once,
 * when it is first used, in the first of these ways that applies:
 * <ol>
 * <li>the file named by the system property {@code vantrell.library}
 *     ({@link #LIBRARY_PROPERTY}), absolute or relative to the working
 *     directory, with {@link System#load}; when it is set, nothing else is
 *     tried;</li>
 * <li>the bridge found on {@code java.library.path}, with
 *     {@link System#loadLibrary}: {@code vantrell}, or
 *     {@code vantrell_isolated} when the host asks for isolation (below);</li>
 * <li>the copy this jar carries for the platform the JVM runs on (Linux
 *     x86_64, Windows x86, Windows x64, as far as the jar was built with
 *     them), copied to a new private temporary folder with the companions
 *     and loaded from there, with the DLLs it needs before it; the copies
 *     are removed at once where the platform allows (Linux), at exit where
 *     it can (Windows keeps loaded DLLs, so they may stay).</li>
 * </ol>
 * When none works, the first use of the class throws
 * {@link UnsatisfiedLinkError} (as the cause of an
 * {@link ExceptionInInitializerError} where the JVM wraps it) whose message
 * says what was tried and why each failed. A host then needs only this jar
 * on its class path or module path (module name
 * {@code com.quenbrook.ravo.tessel.ai}). On JDK 22 and later, loading a
 * native library prints a warning unless the host is started with
 * {@code --enable-native-access=com.quenbrook.ravo.tessel.ai} (module path)
 * or {@code --enable-native-access=ALL-UNNAMED} (class path), or, for an
 * executable jar, its manifest says {@code Enable-Native-Access: ALL-UNNAMED}.
 *
 * <p><b>What a module can do to the host.</b> By default the module runs in
 * the host's process, on the calling thread: a module that crashes (an
 * access violation, say) ends the JVM, and a module that does not return
 * blocks the thread that called it, for good: in process no deadline can be
 * kept, as nothing can stop a thread inside a module. Only an exception out
 * of {@link #endGame} is caught by the bridge.
 *
 * <p><b>Isolation.</b> With {@code -Dvantrell.isolation=process}
 * ({@link #ISOLATION_PROPERTY}; the default is {@code inprocess}) the jar
 * loads the bridge built for isolation, which plays every module in a
 * companion process of the module's own width, shipped beside the bridge:
 * the same answers, the same output, but the module's code runs in that
 * process. A 64-bit JVM plays 32-bit x86 modules that way in any case
 * (Linux and Windows): the bridge reads the module's width from its file.
 * Through a companion:
 * <ul>
 * <li>a module that crashes, or whose companion is killed, ends only the
 *     companion: that call and every later one give their default results,
 *     at once (whatever processes the module started, which end with the
 *     companion), until the next {@link #initializeLibrary}, which starts a
 *     new companion;</li>
 * <li>a module call that does not return blocks the calling thread, unless
 *     the host gives each call a deadline with
 *     {@code -Dvantrell.callTimeout=<milliseconds>}
 *     ({@link #CALL_TIMEOUT_PROPERTY}; absent or 0: none): a call, or a
 *     load, that has not answered by then gives its default, its companion
 *     and all it started are ended, and every later call gives its default
 *     until the next {@link #initializeLibrary}. Without a deadline, a host
 *     gives up on such a module from another thread: {@link #terminate} or
 *     {@link #initializeLibrary} while a call is in flight ends that call's
 *     companion (also one stopped by a signal), and the call returns its
 *     default at once. The properties are read at each
 *     {@link #initializeLibrary};</li>
 * <li>calls take turns: two host threads calling at once each get their own
 *     answer, one after the other (in process that is the module's
 *     business, and the rule stays one call at a time);</li>
 * <li>{@link #terminate} waits at most 5 s for the module to be unloaded,
 *     then ends the companion;</li>
 * <li>one companion per width serves the host until it ends, and loads
 *     modules as the host's own loader would: the same module loaded twice
 *     needs two {@link #terminate} calls to be unloaded;</li>
 * <li>a text longer than 1 MiB (1,048,576 bytes) does not cross: a module's
 *     answer that long reaches the host as null, a host's text that long
 *     gives the method's default without calling the module;</li>
 * <li>everything the companion answers is checked before it is believed; a
 *     companion that answers out of turn or out of bounds is ended, as if it
 *     had crashed;</li>
 * <li>the module's output (what it left in its C runtime's buffers) is
 *     written when it is unloaded or another module is loaded, and when the
 *     host ends, with or without {@link #terminate}: before the host's
 *     process has ended (the host waits at most 2 s for it; a module still
 *     in a call is ended then), so that nothing of the companion's comes
 *     after the host's own last word.</li>
 * </ul>
 * A call through a companion costs a few microseconds more than in process
 * (the project's docs/performance.md gives the figures).
 *
 * <p><b>A sandbox.</b> With {@code -Dvantrell.isolation=sandbox} every module
 * is played as with {@code process}, in a companion of its own that confines
 * itself before the module's first instruction (its constructors, its static
 * initialisers and any thread they start run confined): the module may
 * compute, run threads, answer and print, and nothing else. A refused action
 * is a failed call (EPERM, EACCES or EAGAIN), never an end of the module; a
 * load the sandbox refuses (a library of the module's that it may not read,
 * a constructor that dies) is {@link #initializeLibrary} false, and
 * {@code aimodule-check --smoke --sandbox} says why. What Linux enforces, and
 * Windows (its job object and low integrity level, both set before the load;
 * Wine accepts both and enforces neither):
 * <ul>
 * <li>files: on Linux (Landlock) it reads its module's file, the system's
 *     library folders and the files and folders the host grants with
 *     {@code -Dvantrell.sandbox.read=<path>[<path separator><path>...]}
 *     ({@link #SANDBOX_READ_PROPERTY}; read-only, a folder with all beneath
 *     it, as the host named them when the module was loaded), and writes,
 *     makes, removes and runs none; on Windows the low integrity level keeps
 *     it from writing where the user's processes write, and reading is not
 *     confined;</li>
 * <li>network, other processes, interprocess communication: on Linux a
 *     filter lets through only the system calls a computing, allocating,
 *     threading and printing module needs, and refuses the rest: no socket
 *     (nor io_uring, which could make one), no process, no program, no
 *     tracing, no System V IPC or keyring, signals to itself only, TCP bind
 *     and connect refused by Landlock too; on Windows the job allows no
 *     process, and the network is not confined;</li>
 * <li>privileges: on Linux the companion holds no capability in any set,
 *     whatever user runs the host (it runs in a user namespace of its own;
 *     a root host's companion has nobody as its real user and keeps root's
 *     file permissions within what Landlock allows), gains none, and the
 *     privileged calls (namespaces, mounting, {@code bpf},
 *     {@code perf_event_open}, rebooting, raising its priority, ...) are
 *     outside the filter; on Windows the token keeps its privileges at a low
 *     integrity level;</li>
 * <li>the terminal: on Linux the companion is in a session of its own, with
 *     no controlling terminal and an empty standard input; it may not read
 *     its standard output or error (the host's terminal is open both ways),
 *     and its only terminal requests are the two a C library's stdio makes
 *     (so it cannot type into the host's terminal); on Windows its standard
 *     input is empty, but it shares the host's console, if the host has one,
 *     whose input a process of low integrity can still read and write: a
 *     host that does not trust its modules runs without a console (javaw, a
 *     service). Both write to the host's standard output and error;</li>
 * <li>threads and memory: on Linux the module may start at most 64 threads
 *     ({@link #SANDBOX_THREAD_LIMIT}; then a new one fails with EAGAIN) and
 *     has an address space of 1 GiB (32-bit) or 4 GiB (64-bit), 64 open
 *     files and no core dump; on Windows the job caps the memory at the same
 *     sizes, which alone bounds the threads;</li>
 * <li>its environment: on Linux only the host's locale variables (the
 *     rest may hold what a module's chat could carry off); on Windows the
 *     host's.</li>
 * </ul>
 * This needs Landlock ABI 6 (Linux 6.12) or newer, seccomp and user
 * namespaces; where one is missing the sandbox does not start and
 * {@link #initializeLibrary} is false: never an unconfined module. A
 * sandboxed companion loads nothing after its module, so each
 * {@link #initializeLibrary} starts a new one and ends the one before, its
 * module unloaded and its output written first: repeated loads of one module
 * are not counted there as the loader counts them in process.
 */
public final class NativeAIBridge {
    /** The system property that names the native library's file, when set. */
    public static final String LIBRARY_PROPERTY = "vantrell.library";

    /**
     * The system property that asks for isolation: {@code inprocess} (the
     * default: the module runs in the host's process), {@code process} (every
     * module runs in a companion process of its own width) or {@code sandbox}
     * (the same, each companion confined to computing, answering and
     * printing).
     */
    public static final String ISOLATION_PROPERTY = "vantrell.isolation";

    /**
     * The system property that gives each call through a companion a
     * deadline, in milliseconds (absent or 0: none): a call or load that has
     * not answered by then gives its default, and its module is ended. Read
     * at each {@link #initializeLibrary}; in process it has no effect.
     */
    public static final String CALL_TIMEOUT_PROPERTY = "vantrell.callTimeout";

    /**
     * The system property that grants a sandboxed module read-only access to
     * files and folders besides its own file and the system's libraries
     * (Linux): paths separated by {@link java.io.File#pathSeparator}. Read at
     * each {@link #initializeLibrary}.
     */
    public static final String SANDBOX_READ_PROPERTY = "vantrell.sandbox.read";

    /** The threads a sandboxed module may start (Linux); a new one beyond them fails. */
    public static final int SANDBOX_THREAD_LIMIT = 64;

    static {
        NativeLibraryLoader.load(LIBRARY_PROPERTY, ISOLATION_PROPERTY);
    }

    private NativeAIBridge() {}

    /**
     * Loads the AI module at {@code path} into the bridge's one module slot.
     * A module already loaded is not unloaded: it stays in memory, no longer
     * reachable, until the process ends; call {@link #terminate} first.
     * Does not call the module's {@code initialize}.
     *
     * <p>On Linux a name without a slash is searched only where the loader
     * looks for libraries, never in the working directory: give
     * {@code "./libmy_player.so"}, not {@code "libmy_player.so"} (the
     * class's "Module paths" says more). When this answers false, run
     * {@code aimodule-check --smoke <path>} (the host package's checker; with
     * {@code --sandbox} for a sandboxed host): it says why.
     *
     * @param path the module's file, as the platform's loader takes it
     * @return true when the module loaded; false (and the slot empty) when it
     *     did not or {@code path} is null
     */
    public static native boolean initializeLibrary(String path);

    /**
     * Calls the module's {@code terminate}, when it has one, then unloads the
     * module and empties the slot. Does nothing when no module is loaded.
     */
    public static native void terminate();

    /**
     * Calls the module's {@code initialize} with a text of the host's choosing.
     *
     * @param text lent to the module for the call
     * @return the module's answer (true when it is ready); default false
     */
    public static native boolean initialize(String text);

    /**
     * Calls the module's {@code createGame}.
     *
     * @return whether the module wants to create a game; default false
     */
    public static native boolean createGame();

    /**
     * Calls the module's {@code joinGame}.
     *
     * @return whether the module wants to join a game; default false
     */
    public static native boolean joinGame();

    /** Calls the module's {@code gameCreated}: the game it asked for exists. */
    public static native void gameCreated();

    /** Calls the module's {@code gameJoined}: it joined a game. */
    public static native void gameJoined();

    /**
     * Calls the module's {@code getCreateGameMode}.
     *
     * @return the mode of the game the module wants to create; default 0
     */
    public static native int getCreateGameMode();

    /**
     * Calls the module's {@code getCreateGameOption}.
     *
     * @param option the option asked about, a code of the host's
     * @return the value the module wants for it; default 0
     */
    public static native int getCreateGameOption(int option);

    /**
     * Calls the module's {@code newGameCreated}.
     *
     * @param owner the game's owner, lent to the module for the call
     * @param mode the game's mode
     * @return whether the module takes part; default false
     */
    public static native boolean newGameCreated(String owner, int mode);

    /**
     * Calls the module's {@code newGameOption}.
     *
     * @param option an option of the new game
     * @param value its value
     * @return whether the module accepts it; default false
     */
    public static native boolean newGameOption(int option, int value);

    /**
     * Calls the module's {@code setAIUsername}.
     *
     * @param name the module's user name, lent for the call
     */
    public static native void setAIUsername(String name);

    /**
     * Calls the module's {@code setOpponentUsername}.
     *
     * @param name the opponent's user name, lent for the call
     */
    public static native void setOpponentUsername(String name);

    /**
     * Calls the module's {@code setGameMode}.
     *
     * @param mode the game's mode
     * @return whether the module can play it; default false
     */
    public static native boolean setGameMode(int mode);

    /**
     * Calls the module's {@code setGameOption}.
     *
     * @param option one of the game's options
     * @param value its value
     * @return whether the module accepts it; default false
     */
    public static native boolean setGameOption(int option, int value);

    /**
     * Calls the module's {@code setGameAids}.
     *
     * @param aids whether game aids are on; the module gets 1 or 0
     */
    public static native void setGameAids(boolean aids);

    /**
     * Calls the module's {@code setSkillLevel}.
     *
     * @param level the skill level to play at
     * @return whether the module accepts it; default false
     */
    public static native boolean setSkillLevel(int level);

    /**
     * Calls the module's {@code setMoveTimeLimit}.
     *
     * @param limit the time limit for a move
     * @return whether the module accepts it; default false
     */
    public static native boolean setMoveTimeLimit(int limit);

    /**
     * Calls the module's {@code setCustomPieceCount} with the twelve counts,
     * in order, as twelve separate parameters.
     *
     * @param count1 the first count
     * @param count2 the second count
     * @param count3 the third count
     * @param count4 the fourth count
     * @param count5 the fifth count
     * @param count6 the sixth count
     * @param count7 the seventh count
     * @param count8 the eighth count
     * @param count9 the ninth count
     * @param count10 the tenth count
     * @param count11 the eleventh count
     * @param count12 the twelfth count
     * @return whether the module accepts them; default false
     */
    public static native boolean setCustomPieceCount(
            int count1, int count2, int count3, int count4, int count5, int count6,
            int count7, int count8, int count9, int count10, int count11, int count12);

    /** Calls the module's {@code initializeGame}: a new game begins. */
    public static native void initializeGame();

    /**
     * Calls the module's {@code createAISetup}.
     *
     * @param color the color the module plays
     */
    public static native void createAISetup(int color);

    /**
     * Calls the module's {@code getAISetupPiece}.
     *
     * @param x the square's first coordinate
     * @param y the square's second coordinate
     * @return the piece of the module's setup on that square; default -1
     */
    public static native int getAISetupPiece(int x, int y);

    /**
     * Calls the module's {@code illegalSetup}: the host refused a piece.
     *
     * @param x the square's first coordinate
     * @param y the square's second coordinate
     * @param rank the refused piece's rank
     */
    public static native void illegalSetup(int x, int y, int rank);

    /**
     * Calls the module's {@code setOpponentSetupPiece} with two values of the
     * host's that together describe one piece of the opponent's setup; the
     * bridge gives no meaning to them and passes both unchanged, in order.
     *
     * @param first the first value
     * @param second the second value
     */
    public static native void setOpponentSetupPiece(int first, int second);

    /** Calls the module's {@code startGame}: play begins. */
    public static native void startGame();

    /**
     * Calls the module's {@code getAIMove} with the bridge's move record,
     * then copies its five bytes into elements 0 to 4 of {@code move}; bytes
     * the module left unwritten keep the previous move's. When no module
     * answers, or {@code move} is null or shorter than five elements, the
     * array is left as it was.
     *
     * @param move an array of at least five elements, filled with the move
     */
    public static native void getAIMove(byte[] move);

    /**
     * Calls the module's {@code illegalMove} with elements 0 to 4 of
     * {@code move}: the host refused that move. What the module writes into
     * the record comes back into the array.
     *
     * @param move an array of at least five elements holding the move
     * @return the module's one-byte answer, unchanged; default false
     */
    public static native boolean illegalMove(byte[] move);

    /**
     * Calls the module's {@code submitAIMoveResult}.
     *
     * @param rank the rank the module's last move met
     * @param result the move's result
     * @return the module's one-byte answer, unchanged; default false
     */
    public static native boolean submitAIMoveResult(int rank, int result);

    /**
     * Calls the module's {@code submitOpponentMove}.
     *
     * @param fromX the first coordinate of the square moved from
     * @param fromY the second coordinate of the square moved from
     * @param toX the first coordinate of the square moved to
     * @param toY the second coordinate of the square moved to
     * @param rank the rank the move met
     * @param result the move's result
     * @return the module's one-byte answer, unchanged; default false
     */
    public static native boolean submitOpponentMove(
            int fromX, int fromY, int toX, int toY, int rank, int result);

    /**
     * Calls the module's {@code endGame}. The one guarded call: a C++
     * exception that leaves the module's {@code endGame} is caught and
     * dropped, and this method returns normally.
     *
     * @param result the game's result
     * @param reason why it ended
     */
    public static native void endGame(int result, int reason);

    /**
     * Calls the module's {@code abortGame}: the game was broken off.
     *
     * @param reason why
     */
    public static native void abortGame(int reason);

    /**
     * Calls the module's {@code getPublicName}.
     *
     * @return a new string made from the module's text; default null
     */
    public static native String getPublicName();

    /**
     * Calls the module's {@code getPreGameChat}.
     *
     * @return a new string made from the module's text, or null; default null
     */
    public static native String getPreGameChat();

    /**
     * Calls the module's {@code getPostGameChat}.
     *
     * @return a new string made from the module's text, or null; default null
     */
    public static native String getPostGameChat();

    /** Calls the module's {@code postGameLogStart}: the post-game log begins. */
    public static native void postGameLogStart();

    /**
     * Calls the module's {@code postGameLogOriginalOpponentSetup}: one square
     * of the opponent's setup as it was at the start.
     *
     * @param x the square's first coordinate
     * @param y the square's second coordinate
     * @param rank the rank of the opponent's piece there
     */
    public static native void postGameLogOriginalOpponentSetup(int x, int y, int rank);

    /** Calls the module's {@code postGameLogClose}: the post-game log ends. */
    public static native void postGameLogClose();
}
