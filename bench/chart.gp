# The benchmark's rows as one chart: ns per call of every measured row, one
# bar each, on a logarithmic scale, in the order of the table.
#   gnuplot -e "rows='chart-rows.tsv'; png='results.png'" chart.gp
# where each line of chart-rows.tsv is "label<TAB>ns per call<TAB>colour"
# (bench/chart_rows.py): the bridge's rows blue, the floor black, the
# other ways grey.
set terminal pngcairo size 1400,760 font ",10" noenhanced
set output png
set datafile separator "\t"
set title "Cost per call from Java to a module function (ns per call, log scale; lower is better)"
set style fill solid 0.8 border -1
set boxwidth 0.8
set logscale y
set yrange [1:*]
set grid ytics
set ylabel "ns per call"
set xtics rotate by 60 right
set bmargin 22
set lmargin 32
set key off
colour(kind) = kind == 1 ? 0x4a7ab5 : kind == 2 ? 0x202020 : 0xb0b0b0
plot rows using 0:2:(colour($3)):xtic(1) with boxes linecolor rgb variable, \
     rows using 0:2:(sprintf("%.0f", $2)) with labels offset 0,0.7 font ",8"
