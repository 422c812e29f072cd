package com.quenbrook.ravo.tessel.bench;

import static com.quenbrook.ravo.tessel.bench.Calls.*;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Locale;
import java.util.Map;

/**
 * Prints the figures of one or more measuring runs (one per JDK) as one
 * table, and with --check says whether the figures are complete: every
 * expected row present, measured or marked not available, and the heap
 * allocations counted, with the counter's own check passed.
 */
final class Report {
    private Report() {}

    private static final List<String> FUNCTIONS = List.of(
            SET_SKILL_LEVEL, SUBMIT_OPPONENT_MOVE, INITIALIZE, GET_PUBLIC_NAME, GET_AI_MOVE, SET_MOVE_TIME_LIMIT);
    private static final List<String> PATH_ORDER = List.of(Row.FLOOR, Row.BRIDGE, Row.BRIDGE_EMPTY_SLOT,
            Row.BRIDGE_LARGE, Row.BRIDGE_MISSING, Row.JNA_DIRECT, Row.JNA_FUNCTION, Row.FFM_CACHED, Row.FFM_FIND, Row.FFM_REOPEN);
    private static final List<String> MEASURED_FUNCTIONS = List.of(
            SET_SKILL_LEVEL, SUBMIT_OPPONENT_MOVE, INITIALIZE, GET_PUBLIC_NAME, GET_AI_MOVE);

    /** Every (function, path) a run of each set must report, measured or not available. */
    static final List<String[]> BRIDGE_PATHS = new ArrayList<>();
    static final List<String[]> JNA_PATHS = new ArrayList<>();
    static final List<String[]> FFM_PATHS = new ArrayList<>();
    static {
        BRIDGE_PATHS.add(new String[] {Row.FLOOR_FUNCTION, Row.FLOOR});
        for (String function : MEASURED_FUNCTIONS) {
            BRIDGE_PATHS.add(new String[] {function, Row.BRIDGE});
            JNA_PATHS.add(new String[] {function, Row.JNA_DIRECT});
            JNA_PATHS.add(new String[] {function, Row.JNA_FUNCTION});
            FFM_PATHS.add(new String[] {function, Row.FFM_CACHED});
            FFM_PATHS.add(new String[] {function, Row.FFM_FIND});
        }
        BRIDGE_PATHS.add(new String[] {SET_SKILL_LEVEL, Row.BRIDGE_EMPTY_SLOT});
        BRIDGE_PATHS.add(new String[] {SET_SKILL_LEVEL, Row.BRIDGE_LARGE});
        BRIDGE_PATHS.add(new String[] {SET_MOVE_TIME_LIMIT, Row.BRIDGE_MISSING});
        FFM_PATHS.add(new String[] {SET_SKILL_LEVEL, Row.FFM_REOPEN});
    }

    /** The bridge's call kinds whose allocations are held to the target of zero. */
    private static final List<String[]> BRIDGE_CALL_KINDS = BRIDGE_PATHS.subList(1, BRIDGE_PATHS.size());

    private static final class Line {
        String jdk, function, path, reference, unavailable;
        double median = -1, p25 = -1, p75 = -1, allocations = -1, releases = -1;
    }

    private static final class Piece {
        String jdk, label;
        double median = -1, p25 = -1, p75 = -1, allocations = -1, releases = -1;
    }

    private static final class Run {
        final Map<String, List<String>> meta = new LinkedHashMap<>();
        final List<Line> lines = new ArrayList<>();
        final List<Piece> pieces = new ArrayList<>();
        Path file;

        String meta(String key) {
            List<String> values = meta.get(key);
            return values == null ? null : values.get(0);
        }

        Line find(String function, String path) {
            for (Line line : lines)
                if (line.function.equals(function) && line.path.equals(path))
                    return line;
            return null;
        }
    }

    private static double number(String field) {
        return field.isEmpty() ? -1 : Double.parseDouble(field);
    }

    private static Run read(Path file) throws IOException {
        Run run = new Run();
        run.file = file;
        for (String text : Files.readAllLines(file, StandardCharsets.UTF_8)) {
            String[] f = text.split("\t", -1);
            switch (f[0]) {
            case "meta":
                run.meta.computeIfAbsent(f[1], k -> new ArrayList<>()).add(f[2]);
                break;
            case "row": {
                Line line = new Line();
                line.jdk = f[1];
                line.function = f[2];
                line.path = f[3];
                line.reference = f[4];
                line.median = number(f[5]);
                line.p25 = number(f[6]);
                line.p75 = number(f[7]);
                line.allocations = number(f[9]);
                line.releases = number(f[10]);
                line.unavailable = f[11].isEmpty() ? null : f[11];
                run.lines.add(line);
                break;
            }
            case "component": {
                Piece piece = new Piece();
                piece.jdk = f[1];
                piece.label = f[2];
                piece.median = number(f[3]);
                piece.p25 = number(f[4]);
                piece.p75 = number(f[5]);
                piece.allocations = number(f[6]);
                piece.releases = number(f[7]);
                run.pieces.add(piece);
                break;
            }
            default:
                throw new IOException(file + ": unknown line " + text);
            }
        }
        return run;
    }

    static int run(List<Path> files, boolean check, Path csv) throws IOException {
        List<Run> runs = new ArrayList<>();
        for (Path file : files)
            runs.add(read(file));
        print(runs);
        printRatios(runs);
        if (csv != null)
            writeCsv(runs, csv);
        if (!check)
            return 0;
        List<String> problems = check(runs);
        for (String problem : problems)
            System.out.println("check failed: " + problem);
        System.out.println(problems.isEmpty() ? "check: every row present, allocations counted" : "check: FAILED");
        return problems.isEmpty() ? 0 : 1;
    }

    // ---- printing --------------------------------------------------------------------------

    private static String ns(double value) {
        if (value < 0)
            return "";
        return String.format(Locale.ROOT, value < 100 ? "%.1f" : "%.0f", value);
    }

    private static String ratio(double value, double base) {
        if (value < 0 || base <= 0)
            return "-";
        return String.format(Locale.ROOT, "%.2f", value / base);
    }

    private static String allocations(double allocations, double releases) {
        if (allocations < 0)
            return "not counted";
        String text = allocations == 0 ? "0"
                : String.format(Locale.ROOT, allocations < 0.01 ? "%.4f" : "%.2f", allocations);
        if (Math.abs(allocations - releases) > 0.005)
            text += String.format(Locale.ROOT, releases < 0.01 ? " (%.4f freed)" : " (%.2f freed)", releases);
        return text;
    }

    private static double floorOf(Run run) {
        Line floor = run.find(Row.FLOOR_FUNCTION, Row.FLOOR);
        return floor == null ? -1 : floor.median;
    }

    private static void print(List<Run> runs) {
        String format = "%-19s %-37s %3s %9s %7s %8s %8s  %s%n";
        System.out.println("Cost per call: the bridge and other ways from Java to the same module functions");
        System.out.println();
        Run first = runs.get(0);
        if (first.meta("machine") != null)
            System.out.println("Machine:  " + first.meta("machine")
                    + (first.meta("load") != null ? "; load average at start " + first.meta("load") : ""));
        for (Run run : runs) {
            String jdk = run.meta("jdk");
            String set = run.meta("set");
            String rows = set.equals("jni") ? "floor, bridge and JNA rows"
                    : set.equals("ffm") ? "floor, bridge and FFM rows" : "every row";
            System.out.println("JDK " + jdk + ":   " + run.meta("vm") + ", " + run.meta("java.home") + " (" + rows + ")");
        }
        if (runs.size() > 1)
            System.out.println("          Each JDK's rows ran in a VM of their own; x floor and x bridge compare rows of"
                    + " one VM only.");
        for (Run run : runs)
            if (run.meta("jna") != null)
                System.out.println("JNA:      " + run.meta("jna"));
        for (Run run : runs)
            if (run.meta("ffm") != null && !run.meta("ffm").startsWith("not available"))
                System.out.println("FFM:      " + run.meta("ffm"));
        List<String> libraries = new ArrayList<>();
        for (Run run : runs)
            for (String library : run.meta.getOrDefault("library", List.of()))
                if (!libraries.contains(library))
                    libraries.add(library);
        libraries.sort(null);
        System.out.println("Native:   " + first.meta("libc") + (first.meta("commit") != null
                ? "; bridge and modules built from commit " + first.meta("commit") : ""));
        for (String library : libraries)
            System.out.println("          " + library);
        System.out.println("Method:   per row, batches of ~" + first.meta("batch.ms") + " ms after " + first.meta("warmup.ms")
                + " ms of warm-up, " + first.meta("rounds") + " rounds taking every row in turn;"
                + " ns/call is the median over the rounds, IQR the spread between their quartiles"
                + ("true".equals(first.meta("quick")) ? " (QUICK RUN: figures are not meaningful)" : ""));
        System.out.println();
        System.out.printf(Locale.ROOT, format, "function", "path", "JDK", "ns/call", "IQR", "x floor", "x bridge",
                "heap allocs/call");

        List<String> functions = new ArrayList<>();
        functions.add(Row.FLOOR_FUNCTION);
        functions.addAll(FUNCTIONS);
        for (String function : functions) {
            boolean firstOfGroup = true;
            for (Run run : runs) {
                double floor = floorOf(run);
                for (String path : PATH_ORDER) {
                    Line line = run.find(function, path);
                    if (line == null)
                        continue;
                    String name = firstOfGroup ? function : "";
                    firstOfGroup = false;
                    if (line.unavailable != null) {
                        System.out.printf(Locale.ROOT, "%-19s %-37s %3s   not available: %s%n", name, path, line.jdk,
                                line.unavailable);
                        continue;
                    }
                    Line bridge = run.find(line.reference, Row.BRIDGE);
                    String toBridge = line.path.equals(Row.BRIDGE) && line.reference.equals(line.function) ? "1.00"
                            : ratio(line.median, bridge == null ? -1 : bridge.median);
                    if (line.path.equals(Row.FLOOR))
                        toBridge = "-";
                    System.out.printf(Locale.ROOT, format, name, path, line.jdk, ns(line.median),
                            ns(line.p75 - line.p25), ratio(line.median, floor), toBridge,
                            allocations(line.allocations, line.releases));
                }
            }
        }
        System.out.println();
        System.out.println("x floor: ns/call over the floor of the same JDK. x bridge: over the bridge's row for the same"
                + " function on the same JDK (setMoveTimeLimit: over bridge setSkillLevel).");
        System.out.println("heap allocs/call: malloc/calloc/realloc/memalign calls made by the calling thread during "
                + first.meta("counted.calls") + " more calls, per call (frees alike unless shown).");

        for (Run run : runs) {
            if (!"yes".equals(run.meta("counting"))) {
                System.out.println("JDK " + run.meta("jdk") + ": heap allocations not counted: the counting library"
                        + " was not preloaded (LD_PRELOAD)");
                continue;
            }
            StringBuilder summary = new StringBuilder();
            int allocating = 0;
            int counted = 0;
            for (String[] kind : BRIDGE_CALL_KINDS) {
                Line line = run.find(kind[0], kind[1]);
                if (line == null || line.allocations < 0)
                    continue;
                counted++;
                if (line.allocations > 0.005)
                    allocating++;
                String label = kind[1].equals(Row.BRIDGE) ? kind[0]
                        : kind[1].equals(Row.BRIDGE_EMPTY_SLOT) ? "empty slot"
                        : kind[1].equals(Row.BRIDGE_LARGE) ? "large module" : "missing export";
                summary.append(summary.length() == 0 ? "" : ", ").append(label).append(' ')
                        .append(allocations(line.allocations, line.releases));
            }
            System.out.println("Bridge path, JDK " + run.meta("jdk") + ", heap allocations per forwarded call (target 0): "
                    + summary + " -> " + (counted - allocating) + " of " + counted + " call kinds allocate nothing.");
            System.out.println("Counter check, JDK " + run.meta("jdk") + ": a native method doing one malloc and one free"
                    + " counted " + run.meta("control.allocations") + " allocations per call (expect 1).");
        }

        for (Run run : runs) {
            if (run.pieces.isEmpty())
                continue;
            System.out.println();
            System.out.println("Pieces of the bridge's path, each timed in a loop in C inside one native call (JDK "
                    + run.meta("jdk") + "; no JNI transition in these figures)");
            String pieceFormat = "%-62s %9s %7s  %s%n";
            System.out.printf(Locale.ROOT, pieceFormat, "piece", "ns/op", "IQR", "heap allocs/op");
            for (Piece piece : run.pieces) {
                if (piece.median < 0) {
                    System.out.printf(Locale.ROOT, "%-62s   not available: could not run%n", piece.label);
                    continue;
                }
                System.out.printf(Locale.ROOT, pieceFormat, piece.label, ns(piece.median), ns(piece.p75 - piece.p25),
                        allocations(piece.allocations, piece.releases));
            }
        }
    }

    // ---- the ratios that sum the table up ---------------------------------------------------

    private static double median(Run run, String function, String path) {
        Line line = run.find(function, path);
        return line == null || line.unavailable != null ? -1 : line.median;
    }

    private static double piece(Run run, BareNative.Component component) {
        for (Piece piece : run.pieces)
            if (piece.label.equals(component.label))
                return piece.median;
        return -1;
    }

    private static void ratioLine(String what, double value, double base, String jdk) {
        System.out.printf(Locale.ROOT, "  %-58s %8s   (JDK %s)%n", what, ratio(value, base), jdk);
    }

    private static void printRatios(List<Run> runs) {
        System.out.println();
        System.out.println("Ratios (medians of this run):");
        for (Run run : runs) {
            String jdk = run.meta("jdk");
            double bridge = median(run, SET_SKILL_LEVEL, Row.BRIDGE);
            if (bridge < 0)
                continue;
            ratioLine("numeric call (setSkillLevel) / floor", bridge, floorOf(run), jdk);
            if (median(run, SET_SKILL_LEVEL, Row.JNA_DIRECT) > 0)
                ratioLine("bridge / JNA direct mapping (setSkillLevel)", bridge,
                        median(run, SET_SKILL_LEVEL, Row.JNA_DIRECT), jdk);
            if (median(run, SET_SKILL_LEVEL, Row.FFM_FIND) > 0)
                ratioLine("bridge / FFM find() per call (setSkillLevel)", bridge,
                        median(run, SET_SKILL_LEVEL, Row.FFM_FIND), jdk);
            ratioLine("module with 20,000 more exports / small module", median(run, SET_SKILL_LEVEL, Row.BRIDGE_LARGE),
                    bridge, jdk);
            ratioLine("missing export / found export", median(run, SET_MOVE_TIME_LIMIT, Row.BRIDGE_MISSING), bridge,
                    jdk);
            if (!run.pieces.isEmpty()) {
                double found = piece(run, BareNative.Component.FIND_EXPORT_HIT);
                ratioLine("lookup alone: missing / found", piece(run, BareNative.Component.FIND_EXPORT_MISS), found,
                        jdk);
                ratioLine("lookup alone: large module / small module",
                        piece(run, BareNative.Component.FIND_EXPORT_HIT_LARGE), found, jdk);
                ratioLine("lookup alone: found / dlsym alone found", found,
                        piece(run, BareNative.Component.DLSYM_HIT), jdk);
                ratioLine("lookup alone: found / former lookup found", found,
                        piece(run, BareNative.Component.FORMER_LOOKUP_HIT), jdk);
            }
        }
    }

    // ---- the table for other programs -------------------------------------------------------

    private static String csvField(String text) {
        return text.contains(",") || text.contains("\"") ? "\"" + text.replace("\"", "\"\"") + "\"" : text;
    }

    /**
     * Every measured row, in the order of the printed table, and every piece,
     * one line each, with its ratio to the floor of its VM.
     */
    private static void writeCsv(List<Run> runs, Path csv) throws IOException {
        List<String> lines = new ArrayList<>();
        lines.add("kind,function,path,jdk,ns_per_call,p25,p75,x_floor,heap_allocs_per_call");
        List<String> functions = new ArrayList<>();
        functions.add(Row.FLOOR_FUNCTION);
        functions.addAll(FUNCTIONS);
        for (String function : functions)
            for (Run run : runs)
                for (String path : PATH_ORDER) {
                    Line line = run.find(function, path);
                    if (line == null || line.unavailable != null)
                        continue;
                    lines.add(String.join(",", "row", csvField(line.function), csvField(line.path), line.jdk,
                            ns(line.median), ns(line.p25), ns(line.p75), ratio(line.median, floorOf(run)),
                            line.allocations < 0 ? "" : String.format(Locale.ROOT, "%.4f", line.allocations)));
                }
        for (Run run : runs) {
            for (Piece piece : run.pieces) {
                if (piece.median < 0)
                    continue;
                lines.add(String.join(",", "piece", "", csvField(piece.label), piece.jdk, ns(piece.median),
                        ns(piece.p25), ns(piece.p75), "-",
                        piece.allocations < 0 ? "" : String.format(Locale.ROOT, "%.4f", piece.allocations)));
            }
        }
        Files.write(csv, lines, StandardCharsets.UTF_8);
    }

    // ---- checking --------------------------------------------------------------------------

    private static List<String> check(List<Run> runs) {
        List<String> problems = new ArrayList<>();
        for (Run run : runs) {
            String where = run.file + " (JDK " + run.meta("jdk") + ")";
            String set = run.meta("set");
            List<String[]> expected = new ArrayList<>(BRIDGE_PATHS);
            if (!"ffm".equals(set))
                expected.addAll(JNA_PATHS);
            if (!"jni".equals(set))
                expected.addAll(FFM_PATHS);
            for (String[] row : expected) {
                Line line = run.find(row[0], row[1]);
                if (line == null) {
                    problems.add(where + ": no row for " + row[0] + " via " + row[1]);
                    continue;
                }
                if (line.unavailable != null)
                    continue;
                if (!(line.median > 0) || Double.isInfinite(line.median))
                    problems.add(where + ": " + row[0] + " via " + row[1] + " has no time per call");
                if ("yes".equals(run.meta("counting")) && line.allocations < 0)
                    problems.add(where + ": " + row[0] + " via " + row[1] + " has no allocation count");
            }
            for (String[] row : BRIDGE_PATHS)
                if (run.find(row[0], row[1]) != null && run.find(row[0], row[1]).unavailable != null)
                    problems.add(where + ": the bridge row " + row[0] + " via " + row[1] + " did not run");
            if (!"yes".equals(run.meta("counting"))) {
                problems.add(where + ": heap allocations were not counted (counting library not preloaded)");
            } else {
                double control = number(run.meta("control.allocations"));
                if (control < 0.99 || control > 1.5)
                    problems.add(where + ": the counter saw " + control + " allocations per malloc-and-free call");
                Line floor = run.find(Row.FLOOR_FUNCTION, Row.FLOOR);
                if (floor != null && floor.allocations > 0.01)
                    problems.add(where + ": the floor counted " + floor.allocations + " allocations per call");
            }
            if ("yes".equals(run.meta("components"))) {
                if (run.pieces.size() != BareNative.Component.values().length)
                    problems.add(where + ": " + run.pieces.size() + " pieces timed, expected "
                            + BareNative.Component.values().length);
                for (Piece piece : run.pieces)
                    if (!(piece.median > 0))
                        problems.add(where + ": the piece '" + piece.label + "' has no time");
            }
        }
        return problems;
    }
}
