package com.quenbrook.ravo.tessel.bench;

import com.quenbrook.ravo.tessel.ai.NativeAIBridge;
import com.quenbrook.ravo.tessel.bench.Row.Slot;
import java.io.IOException;
import java.io.PrintWriter;
import java.lang.reflect.InvocationTargetException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.LinkedHashSet;
import java.util.List;
import java.util.Locale;
import java.util.Set;

/**
 * Measures the cost per call of the bridge's forwarding and of the other
 * ways to reach the same module functions, in this VM, and writes the
 * figures to a file that {@link Report} prints.
 *
 * <pre>
 * measure --module PATH --large-module PATH --out FILE [--rows jni|ffm|all] [--components] [--quick]
 *         [--rounds N] [--batch-ms N] [--warmup-ms N] [--ffm-unavailable WHY]
 *         [--print] [--check]
 * report FILE... [--check] [--csv FILE]
 * </pre>
 *
 * Every row is calibrated to a batch of about --batch-ms, warmed up for
 * --warmup-ms, then timed in --rounds rounds; a round runs one batch of each
 * row in turn, so a burst of load from elsewhere on the machine falls on
 * all rows alike rather than on one. The figure of a row is the median over
 * its rounds of the batch's time divided by its calls.
 *
 * After the rounds, with the allocation counting library preloaded, one more
 * batch of each row runs with this thread's heap calls counted.
 */
public final class Bench {
    private Bench() {}

    static String requiredProperty(String name) {
        String value = System.getProperty(name);
        if (value == null || value.isEmpty())
            throw new IllegalStateException("system property " + name + " is not set");
        return value;
    }

    /** Keeps the answers of every batch alive, so that no batch can be dropped. */
    static volatile long sink;

    private static final class Options {
        String module;
        String largeModule;
        Path out;
        String rows = "all";
        boolean components;
        boolean quick;
        int rounds = 31;
        long batchNs = 20_000_000L;
        long warmupNs = 400_000_000L;
        int countedCalls = 20_000;
        String ffmUnavailable;
        boolean print;
        boolean check;
        Path csv;
        final List<Path> reportFiles = new ArrayList<>();
    }

    public static void main(String[] args) throws Throwable {
        if (args.length == 0)
            usage("no command");
        Options options = new Options();
        String command = args[0];
        for (int i = 1; i < args.length; i++) {
            String arg = args[i];
            switch (arg) {
            case "--module": options.module = value(args, ++i, arg); break;
            case "--large-module": options.largeModule = value(args, ++i, arg); break;
            case "--out": options.out = Path.of(value(args, ++i, arg)); break;
            case "--rows": options.rows = value(args, ++i, arg); break;
            case "--components": options.components = true; break;
            case "--quick":
                options.quick = true;
                options.rounds = 3;
                options.batchNs = 1_000_000L;
                options.warmupNs = 20_000_000L;
                options.countedCalls = 2_000;
                break;
            case "--rounds": options.rounds = Integer.parseInt(value(args, ++i, arg)); break;
            case "--batch-ms": options.batchNs = Long.parseLong(value(args, ++i, arg)) * 1_000_000L; break;
            case "--warmup-ms": options.warmupNs = Long.parseLong(value(args, ++i, arg)) * 1_000_000L; break;
            case "--ffm-unavailable": options.ffmUnavailable = value(args, ++i, arg); break;
            case "--print": options.print = true; break;
            case "--check": options.check = true; break;
            case "--csv": options.csv = Path.of(value(args, ++i, arg)); break;
            default:
                if (arg.startsWith("--"))
                    usage("unknown option " + arg);
                options.reportFiles.add(Path.of(arg));
            }
        }
        switch (command) {
        case "measure":
            if (options.module == null || options.largeModule == null || options.out == null)
                usage("measure needs --module, --large-module and --out");
            if (!Set.of("jni", "ffm", "all").contains(options.rows))
                usage("--rows takes jni, ffm or all");
            measure(options);
            if (options.print || options.check)
                System.exit(Report.run(List.of(options.out), options.check, options.csv));
            break;
        case "report":
            if (options.reportFiles.isEmpty())
                usage("report needs at least one file");
            System.exit(Report.run(options.reportFiles, options.check, options.csv));
            break;
        default:
            usage("unknown command " + command);
        }
    }

    private static String value(String[] args, int index, String option) {
        if (index >= args.length)
            usage(option + " needs a value");
        return args[index];
    }

    private static void usage(String problem) {
        System.err.println("bench: " + problem);
        System.err.println("usage: measure --module PATH --large-module PATH --out FILE [--rows jni|ffm|all]");
        System.err.println("               [--components] [--quick]");
        System.err.println("               [--rounds N] [--batch-ms N] [--warmup-ms N] [--ffm-unavailable WHY]");
        System.err.println("               [--print] [--check]");
        System.err.println("       report FILE... [--check] [--csv FILE]");
        System.exit(2);
    }

    // ---- the rows of this run --------------------------------------------------------------

    private static final class Source {
        final List<Row> rows;
        final String version;

        Source(List<Row> rows, String version) {
            this.rows = rows;
            this.version = version;
        }
    }

    private static Source jnaRows(String module) {
        try {
            Class<?> rows = Class.forName("com.quenbrook.ravo.tessel.bench.jna.JnaRows");
            @SuppressWarnings("unchecked")
            List<Row> list = (List<Row>) rows.getMethod("rows", String.class).invoke(null, module);
            return new Source(list, (String) rows.getMethod("version").invoke(null));
        } catch (ClassNotFoundException | NoClassDefFoundError e) {
            return unavailable(Report.JNA_PATHS, "JNA is not on the class path (Debian: libjna-java)");
        } catch (InvocationTargetException e) {
            return unavailable(Report.JNA_PATHS, "JNA failed: " + oneLine(e.getCause()));
        } catch (ReflectiveOperationException | LinkageError e) {
            return unavailable(Report.JNA_PATHS, "JNA failed: " + oneLine(e));
        }
    }

    private static Source ffmRows() {
        int feature = Runtime.version().feature();
        if (feature < 22)
            return unavailable(Report.FFM_PATHS, "JDK " + feature + " has no final foreign function API (22+)");
        try {
            Class<?> rows = Class.forName("com.quenbrook.ravo.tessel.bench.ffm.FfmRows");
            @SuppressWarnings("unchecked")
            List<Row> list = (List<Row>) rows.getMethod("rows").invoke(null);
            return new Source(list, (String) rows.getMethod("version").invoke(null));
        } catch (ClassNotFoundException e) {
            return unavailable(Report.FFM_PATHS, "the foreign function rows were not compiled for this JDK");
        } catch (InvocationTargetException e) {
            return unavailable(Report.FFM_PATHS, "foreign function API failed: " + oneLine(e.getCause()));
        } catch (ReflectiveOperationException | LinkageError e) {
            return unavailable(Report.FFM_PATHS, "foreign function API failed: " + oneLine(e));
        }
    }

    private static Source unavailable(List<String[]> paths, String why) {
        List<Row> rows = new ArrayList<>();
        for (String[] functionAndPath : paths)
            rows.add(Row.unavailable(functionAndPath[0], functionAndPath[1], why));
        return new Source(rows, "not available: " + why);
    }

    static String oneLine(Throwable t) {
        Throwable cause = t instanceof ExceptionInInitializerError && t.getCause() != null ? t.getCause() : t;
        String text = cause.getClass().getSimpleName() + (cause.getMessage() == null ? "" : ": " + cause.getMessage());
        return text.replaceAll("\\s+", " ");
    }

    // ---- measuring -------------------------------------------------------------------------

    private static Slot slotState = Slot.EMPTY;
    private static String modulePath;
    private static String largeModulePath;

    private static void ensureSlot(Slot slot) {
        if (slot == Slot.ANY || slot == slotState)
            return;
        if (slotState != Slot.EMPTY)
            NativeAIBridge.terminate();
        slotState = Slot.EMPTY;
        if (slot == Slot.EMPTY)
            return;
        String path = slot == Slot.LOADED ? modulePath : largeModulePath;
        if (!NativeAIBridge.initializeLibrary(path))
            throw new IllegalStateException("the bridge could not load " + path);
        slotState = slot;
    }

    private static long timeBatch(Row row, int calls) throws Throwable {
        ensureSlot(row.slot);
        long start = System.nanoTime();
        long answers = row.batch.run(calls);
        long elapsed = System.nanoTime() - start;
        sink += answers;
        return elapsed;
    }

    /** The number of calls that takes about {@code targetNs}; warms the row up on the way. */
    private static int calibrate(Row row, long targetNs) throws Throwable {
        int calls = 16;
        while (true) {
            long elapsed = timeBatch(row, calls);
            if (elapsed >= targetNs / 4 || calls >= (1 << 28)) {
                double scaled = (double) calls * targetNs / Math.max(elapsed, 1);
                return (int) Math.max(1, Math.min(scaled, 1 << 30));
            }
            calls *= elapsed < targetNs / 64 ? 8 : 2;
        }
    }

    private static final class Measured {
        final Row row;
        int calls;
        final double[] nsPerCall;
        double allocations = -1;
        double releases = -1;

        Measured(Row row, int rounds) {
            this.row = row;
            this.nsPerCall = new double[rounds];
        }
    }

    private static void measure(Options options) throws Throwable {
        modulePath = Path.of(options.module).toAbsolutePath().toString();
        largeModulePath = Path.of(options.largeModule).toAbsolutePath().toString();
        System.setProperty("vantrell.bench.module", modulePath);

        List<Row> rows = new ArrayList<>();
        rows.add(BridgeRows.floor());
        rows.addAll(BridgeRows.rows());
        String jnaVersion = null;
        String ffmVersion = null;
        if (!options.rows.equals("ffm")) {
            Source jna = jnaRows(modulePath);
            rows.addAll(jna.rows);
            jnaVersion = jna.version;
        }
        if (!options.rows.equals("jni")) {
            Source ffm = ffmRows();
            rows.addAll(ffm.rows);
            ffmVersion = ffm.version;
        } else if (options.ffmUnavailable != null) {
            Source ffm = unavailable(Report.FFM_PATHS, options.ffmUnavailable);
            rows.addAll(ffm.rows);
            ffmVersion = ffm.version;
        }

        // Rows are grouped by the slot they need, so that a pass switches the
        // slot at most three times.
        List<Measured> measured = new ArrayList<>();
        for (Slot slot : new Slot[] {Slot.EMPTY, Slot.LOADED, Slot.LOADED_LARGE, Slot.ANY})
            for (Row row : rows)
                if (row.unavailable == null && row.slot == slot)
                    measured.add(new Measured(row, options.rounds));

        String jdk = Integer.toString(Runtime.version().feature());
        progress("JDK " + jdk + ": checking the answers of " + measured.size() + " rows");
        for (Measured m : measured) {
            ensureSlot(m.row.slot);
            if (!m.row.probe.answersRight())
                throw new IllegalStateException(m.row.function + " via " + m.row.path + " gave a wrong answer");
        }

        progress("JDK " + jdk + ": calibrating and warming up");
        for (Measured m : measured) {
            m.calls = calibrate(m.row, options.batchNs);
            long until = System.nanoTime() + options.warmupNs;
            do
                timeBatch(m.row, m.calls);
            while (System.nanoTime() < until);
            // Warming up can move the JIT to a faster form: size the batch again.
            m.calls = calibrate(m.row, options.batchNs);
        }

        progress("JDK " + jdk + ": " + options.rounds + " rounds of " + measured.size() + " rows");
        for (int round = 0; round < options.rounds; round++)
            for (Measured m : measured)
                m.nsPerCall[round] = (double) timeBatch(m.row, m.calls) / m.calls;

        boolean counting = BareNative.countingAvailable();
        double control = -1;
        if (counting) {
            // The fewest of three counted batches: a call that allocates
            // does so in every batch, while the VM's occasional work on this
            // thread (a compilation request, say) lands in one at most.
            for (Measured m : measured) {
                ensureSlot(m.row.slot);
                long[] least = countedBatches(() -> sink += m.row.batch.run(options.countedCalls));
                m.allocations = (double) least[0] / options.countedCalls;
                m.releases = (double) least[1] / options.countedCalls;
            }
            Row.Batch allocating = calls -> {
                for (int i = 0; i < calls; i++)
                    BareNative.allocateOnce();
                return calls;
            };
            allocating.run(options.countedCalls);
            long[] least = countedBatches(() -> allocating.run(options.countedCalls));
            control = (double) least[0] / options.countedCalls;
        }

        List<String> componentLines = new ArrayList<>();
        if (options.components) {
            progress("JDK " + jdk + ": timing the pieces of the bridge's path in C");
            componentLines = components(options, jdk, counting);
        }
        ensureSlot(Slot.EMPTY);

        try (PrintWriter out = new PrintWriter(Files.newBufferedWriter(options.out, StandardCharsets.UTF_8))) {
            meta(out, "jdk", jdk);
            meta(out, "set", options.rows);
            meta(out, "vm", System.getProperty("java.vm.name") + " " + System.getProperty("java.runtime.version")
                    + " (" + System.getProperty("java.vendor") + ")");
            meta(out, "java.home", System.getProperty("java.home"));
            meta(out, "jna", jnaVersion);
            meta(out, "ffm", ffmVersion);
            meta(out, "libc", "glibc " + BareNative.libcVersion());
            for (String library : mappedLibraries())
                meta(out, "library", library);
            meta(out, "rounds", Integer.toString(options.rounds));
            meta(out, "batch.ms", String.format(Locale.ROOT, "%.0f", options.batchNs / 1e6));
            meta(out, "warmup.ms", String.format(Locale.ROOT, "%.0f", options.warmupNs / 1e6));
            meta(out, "quick", Boolean.toString(options.quick));
            meta(out, "counting", counting ? "yes" : "no");
            meta(out, "counted.calls", Integer.toString(options.countedCalls));
            meta(out, "control.allocations", format(control));
            meta(out, "components", options.components ? "yes" : "no");
            for (String key : new String[] {"vantrell.bench.commit", "vantrell.bench.machine", "vantrell.bench.load"})
                meta(out, key.substring("vantrell.bench.".length()), System.getProperty(key));
            for (Row row : rows) {
                if (row.unavailable != null) {
                    out.println(String.join("\t", "row", jdk, row.function, row.path, row.reference,
                            "", "", "", "", "", "", clean(row.unavailable)));
                }
            }
            for (Measured m : measured) {
                double[] sorted = m.nsPerCall.clone();
                Arrays.sort(sorted);
                out.println(String.join("\t", "row", jdk, m.row.function, m.row.path, m.row.reference,
                        format(percentile(sorted, 0.5)), format(percentile(sorted, 0.25)),
                        format(percentile(sorted, 0.75)), Integer.toString(m.calls),
                        format(m.allocations), format(m.releases), ""));
            }
            for (String line : componentLines)
                out.println(line);
        }
        progress("JDK " + jdk + ": figures written to " + options.out);
        if (!counting)
            progress("JDK " + jdk + ": heap allocations not counted (the counting library is not preloaded)");
    }

    @FunctionalInterface
    private interface Counted {
        void run() throws Throwable;
    }

    /** Allocations and releases of the batch with the fewest allocations of three. */
    private static long[] countedBatches(Counted batch) throws Throwable {
        long[] counts = new long[2];
        long[] least = {Long.MAX_VALUE, Long.MAX_VALUE};
        for (int attempt = 0; attempt < 3; attempt++) {
            BareNative.countBegin();
            batch.run();
            BareNative.countEnd(counts);
            if (counts[0] < least[0]) {
                least[0] = counts[0];
                least[1] = counts[1];
            }
        }
        return least;
    }

    private static List<String> components(Options options, String jdk, boolean counting) {
        List<String> lines = new ArrayList<>();
        byte[] move = new byte[5];
        long[] counts = new long[2];
        int rounds = Math.max(3, options.rounds / 3);
        for (BareNative.Component component : BareNative.Component.values()) {
            int which = component.ordinal();
            String path = component.large ? largeModulePath : modulePath;
            int iterations = 1000;
            long elapsed = BareNative.component(which, path, Calls.TEXT, move, iterations, 0, counts);
            if (elapsed < 0) {
                lines.add(String.join("\t", "component", jdk, component.label, "", "", "", "", ""));
                continue;
            }
            iterations = (int) Math.max(100, Math.min(1e8, (double) iterations * options.batchNs / Math.max(elapsed, 1)));
            double[] perIteration = new double[rounds];
            for (int round = 0; round < rounds; round++) {
                int counted = counting && round == rounds - 1 ? options.countedCalls : 0;
                perIteration[round] = (double) BareNative.component(which, path, Calls.TEXT, move,
                        iterations, counted, counts) / iterations;
            }
            Arrays.sort(perIteration);
            double allocations = counting ? (double) counts[0] / options.countedCalls : -1;
            double releases = counting ? (double) counts[1] / options.countedCalls : -1;
            lines.add(String.join("\t", "component", jdk, component.label, format(percentile(perIteration, 0.5)),
                    format(percentile(perIteration, 0.25)), format(percentile(perIteration, 0.75)),
                    format(allocations), format(releases)));
        }
        return lines;
    }

    /** The libraries of interest mapped into this process, by their real file names. */
    private static List<String> mappedLibraries() {
        Set<String> found = new LinkedHashSet<>();
        try {
            for (String line : Files.readAllLines(Path.of("/proc/self/maps"))) {
                int slash = line.indexOf('/');
                if (slash < 0)
                    continue;
                String file = line.substring(slash);
                String name = Path.of(file).getFileName().toString();
                if (name.startsWith("libvantrell") || name.startsWith("libbench_quiet_module")
                        || name.startsWith("libbench_large_module")
                        || name.contains("jnidispatch") || name.startsWith("libffi")) {
                    try {
                        found.add(Path.of(file).toRealPath().toString());
                    } catch (IOException e) {
                        found.add(file);
                    }
                }
            }
        } catch (IOException e) {
            found.add("(no /proc/self/maps: " + e.getMessage() + ")");
        }
        return new ArrayList<>(found);
    }

    static double percentile(double[] sorted, double fraction) {
        double position = fraction * (sorted.length - 1);
        int below = (int) Math.floor(position);
        int above = Math.min(below + 1, sorted.length - 1);
        return sorted[below] + (sorted[above] - sorted[below]) * (position - below);
    }

    private static String format(double value) {
        return value < 0 ? "" : String.format(Locale.ROOT, "%.4f", value);
    }

    private static String clean(String text) {
        return text.replace('\t', ' ').replace('\n', ' ');
    }

    private static void meta(PrintWriter out, String key, String value) {
        if (value != null)
            out.println(String.join("\t", "meta", key, clean(value)));
    }

    private static void progress(String line) {
        System.err.println("[bench] " + line);
    }
}
