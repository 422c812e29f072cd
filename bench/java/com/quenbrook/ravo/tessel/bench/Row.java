package com.quenbrook.ravo.tessel.bench;

/**
 * One way of calling one module function: a batch that makes a given number
 * of calls, a probe that checks once that the calls reach what they should,
 * and the state the bridge's module slot must be in for the batch.
 */
public final class Row {
    /** What the batch needs of the bridge's process-wide module slot. */
    public enum Slot {
        /** No module loaded: before initializeLibrary or after terminate. */
        EMPTY,
        /** The quiet module loaded through initializeLibrary. */
        LOADED,
        /** The quiet module with 20,000 more exports, loaded so. */
        LOADED_LARGE,
        /** The batch does not go through the bridge. */
        ANY
    }

    /** Makes {@code calls} calls; returns something made of their answers. */
    @FunctionalInterface
    public interface Batch {
        long run(int calls) throws Throwable;
    }

    /** Makes one call and says whether its answer is the expected one. */
    @FunctionalInterface
    public interface Probe {
        boolean answersRight() throws Throwable;
    }

    // Path labels, shared by the rows and the report, which finds the floor
    // and the bridge's rows by them.
    public static final String FLOOR_FUNCTION = "(floor)";
    public static final String FLOOR = "bare JNI static native void nothing()";
    public static final String BRIDGE = "bridge";
    public static final String BRIDGE_EMPTY_SLOT = "bridge, empty slot";
    public static final String BRIDGE_MISSING = "bridge, export missing";
    public static final String BRIDGE_LARGE = "bridge, module with 20,000 exports";
    public static final String JNA_DIRECT = "JNA direct mapping";
    public static final String JNA_FUNCTION = "JNA Function.invoke*";
    public static final String FFM_CACHED = "FFM, cached downcall handle";
    public static final String FFM_FIND = "FFM, find() per call";
    public static final String FFM_REOPEN = "FFM, libraryLookup()+find() per call";

    public final String function;
    public final String path;
    /** The function whose bridge row this row is compared with. */
    public final String reference;
    public final Slot slot;
    public final Batch batch;
    public final Probe probe;
    /** Why the row cannot run here, or null. */
    public final String unavailable;

    private Row(String function, String path, String reference, Slot slot, Batch batch, Probe probe,
            String unavailable) {
        this.function = function;
        this.path = path;
        this.reference = reference;
        this.slot = slot;
        this.batch = batch;
        this.probe = probe;
        this.unavailable = unavailable;
    }

    public static Row of(String function, String path, Slot slot, Batch batch, Probe probe) {
        return new Row(function, path, function, slot, batch, probe, null);
    }

    /** A row compared with the bridge's row for another function. */
    public static Row comparedWith(String reference, String function, String path, Slot slot, Batch batch,
            Probe probe) {
        return new Row(function, path, reference, slot, batch, probe, null);
    }

    public static Row unavailable(String function, String path, String why) {
        return new Row(function, path, function, Slot.ANY, null, null, why);
    }
}
