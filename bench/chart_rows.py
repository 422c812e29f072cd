"""The measured rows of the benchmark's CSV as "label<TAB>ns per call<TAB>colour"
lines for bench/chart.gp (gnuplot reads no quoted CSV fields). The colour
tells the bridge's rows (1) from the floor (2) and the other ways (3).

    python3 chart_rows.py results.csv > chart-rows.tsv
"""
import csv
import sys

with open(sys.argv[1], newline="", encoding="utf-8") as table:
    for row in csv.DictReader(table):
        if row["kind"] != "row":
            continue
        colour = 1 if row["path"].startswith("bridge") else 2 if row["function"] == "(floor)" else 3
        print(f'{row["function"]}: {row["path"]} (JDK {row["jdk"]})\t{row["ns_per_call"]}\t{colour}')
