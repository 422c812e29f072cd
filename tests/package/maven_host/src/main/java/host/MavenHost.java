package host;

import com.quenbrook.ravo.tessel.ai.NativeAIBridge;

/** Loads the module named by its argument, asks its name, and unloads it. */
public final class MavenHost {
    private MavenHost() {}

    public static void main(String[] args) {
        System.out.println("loaded: " + NativeAIBridge.initializeLibrary(args[0]));
        System.out.println("name: " + NativeAIBridge.getPublicName());
        NativeAIBridge.terminate();
    }
}
