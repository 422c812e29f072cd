package com.quenbrook.ravo.tessel.ai.sandbox;

import com.quenbrook.ravo.tessel.ai.sandbox.Settings.Mode;
import java.util.List;

/**
 * The hostile modules built for 32-bit x86, which a 64-bit host plays
 * through the 32-bit companion, whose filter is made from the other
 * architecture's table of calls (the socketcall and ipc multiplexers
 * among them): each escape refused there too. Sandboxed only: a 64-bit JVM
 * cannot load them in process, and their attempts are those of the 64-bit
 * modules, built from the same sources, which SandboxEscapeTest shows
 * working.
 */
class ThirtyTwoBitEscapeTest extends SandboxEscapeTest {
    @Override
    String width() {
        return "_i386";
    }

    @Override
    List<Mode> modes() {
        return List.of(Mode.SANDBOX);
    }
}
