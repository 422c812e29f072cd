/**
 * A host's door to native AI modules: {@link com.quenbrook.ravo.tessel.ai.NativeAIBridge}
 * loads one module and forwards each call to it. This page tells a host
 * author in which order a host calls the methods in one game, and what the
 * values mean; the class tells how the bridge is found, what each method
 * answers when the module cannot, and what a module can do to the host.
 *
 * <h2>A game, call by call</h2>
 *
 * <p>The host decides the order. The module contract fixes only that the
 * module is loaded ({@code initializeLibrary}) before any other call reaches
 * it and that {@code terminate} is the last call before it is unloaded;
 * neither the bridge nor the sample module checks the rest. A game as the
 * demo host plays it, the order the module authors' guide shows:
 * <ol>
 * <li><b>Load and introduce.</b> {@code initializeLibrary(path)} (false: see
 *     the class's "Why a module does not load"); {@code initialize(text)},
 *     a text of the host's choosing, true when the module is ready;
 *     {@code getPublicName()}; {@code setAIUsername(name)} and
 *     {@code setOpponentUsername(name)}; {@code getPreGameChat()}.</li>
 * <li><b>Create or join a game.</b> {@code createGame()} and
 *     {@code joinGame()}: whether the module wants to create or join one.
 *     For a game it creates, {@code getCreateGameMode()} and
 *     {@code getCreateGameOption(option)} for each option: the mode and the
 *     values it wants. {@code newGameCreated(owner, mode)} and
 *     {@code newGameOption(option, value)}: a game was created, by
 *     {@code owner}, with these (the truth: the module takes part, accepts
 *     the option). {@code gameCreated()} or {@code gameJoined()}: the host
 *     created or joined the game the module asked for.</li>
 * <li><b>Settings.</b> {@code setGameMode(mode)},
 *     {@code setGameOption(option, value)} for each option,
 *     {@code setGameAids(aids)}, {@code setSkillLevel(level)},
 *     {@code setMoveTimeLimit(limit)}, {@code setCustomPieceCount(...)} with
 *     twelve counts. Each truth says whether the module accepts the
 *     setting.</li>
 * <li><b>Setup.</b> {@code initializeGame()}: a game begins.
 *     {@code createAISetup(color)}: the module builds its setup for that
 *     colour. {@code getAISetupPiece(x, y)} once per square of the module's
 *     side: the piece it puts there. {@code illegalSetup(x, y, rank)}: the
 *     host refused that piece. {@code setOpponentSetupPiece(first, second)}
 *     once per piece of the opponent's setup. {@code startGame()}: play
 *     begins.</li>
 * <li><b>Play</b>, move by move. {@code getAIMove(move)}: the module's move.
 *     {@code illegalMove(move)}: the host refused that move (then it asks
 *     again). {@code submitAIMoveResult(rank, result)}: the result of the
 *     module's move. {@code submitOpponentMove(fromX, fromY, toX, toY, rank,
 *     result)}: the opponent's move and its result.</li>
 * <li><b>End.</b> {@code endGame(result, reason)}, or
 *     {@code abortGame(reason)} when the game is broken off;
 *     {@code getPostGameChat()}; {@code postGameLogStart()}, then
 *     {@code postGameLogOriginalOpponentSetup(x, y, rank)} once per square of
 *     the opponent's setup as it stood at the start, then
 *     {@code postGameLogClose()}.</li>
 * <li><b>Unload.</b> {@code terminate()}, once the host is done with the
 *     module; until then it stays loaded, and the host may play another
 *     game with it from whichever step it needs.</li>
 * </ol>
 *
 * <h2>What the values mean</h2>
 *
 * <p>The bridge passes every value unchanged and in order, and gives none a
 * meaning; the contract fixes their form, the host their meaning:
 * <ul>
 * <li><b>Codes:</b> colours, ranks (a piece, as {@code getAISetupPiece}
 *     answers it), results, reasons, modes, options and their values, skill
 *     levels, time limits and the twelve piece counts are the host's codes,
 *     32-bit integers the module receives as the host sent them.
 *     {@code setOpponentSetupPiece} takes two values of the host's that
 *     together describe one piece (the demo host sends
 *     {@code y * 10 + x} and the rank). {@code setGameAids} reaches the
 *     module as 1 or 0.</li>
 * <li><b>Squares:</b> two integers, x then y, in the same order as in a
 *     move; which board axis each denotes is the host's convention (the demo
 *     host's board is ten squares wide, the module's setup in rows 0 to
 *     3).</li>
 * <li><b>Moves:</b> the first five elements of a {@code byte[]}:
 *     {@code fromX, fromY, toX, toY, special}, unsigned in the module (read
 *     them with {@code b & 0xFF}); {@code special} is a move flag whose
 *     values are the host's.</li>
 * <li><b>Truths:</b> the module's answer, true when it is non-zero; for
 *     {@code illegalMove}, {@code submitAIMoveResult} and
 *     {@code submitOpponentMove} its one byte.</li>
 * <li><b>Texts:</b> a text the host passes is lent to the module for the
 *     call; a text the module returns reaches the host as a new string, or
 *     null.</li>
 * <li><b>Defaults:</b> no module loaded, a function the module lacks, or bad
 *     input from the host gives false, 0, -1 (for {@code getAISetupPiece},
 *     where 0 may be a piece), null or nothing, without calling the
 *     module.</li>
 * </ul>
 *
 * <h2>An example</h2>
 *
 * <pre>{@code
 * if (!NativeAIBridge.initializeLibrary("./libmy_player.so")) return;  // why: aimodule-check --smoke
 * NativeAIBridge.initialize("my host 1.0");
 * NativeAIBridge.setAIUsername("bot"); NativeAIBridge.setOpponentUsername("alice");
 * NativeAIBridge.setGameMode(1); NativeAIBridge.setSkillLevel(3);
 * NativeAIBridge.initializeGame(); NativeAIBridge.createAISetup(0);
 * int[][] setup = new int[10][4];                                      // [x][y]: the module's rows
 * for (int x = 0; x < 10; x++) for (int y = 0; y < 4; y++) setup[x][y] = NativeAIBridge.getAISetupPiece(x, y);
 * NativeAIBridge.startGame(); byte[] move = new byte[5]; NativeAIBridge.getAIMove(move);  // move[0] & 0xFF: fromX
 * NativeAIBridge.submitAIMoveResult(9, 0); NativeAIBridge.submitOpponentMove(2, 6, 2, 5, 9, 0);
 * NativeAIBridge.endGame(1, 0); NativeAIBridge.terminate();
 * }</pre>
 */
package com.quenbrook.ravo.tessel.ai;
