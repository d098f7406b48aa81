# throughput.gp - the plot of docs/performance.md: rows per second against
# the row count, for the raw ODBC loops and each fetch form of the library,
# on Linux and through the DLL under Wine. scripts/bench.sh runs it with
#   gnuplot -e "linux='L.tsv'; wine='W.tsv'; output='OUT.png'" throughput.gp
# The TSV files are fetch_bench's --tsv output; only the four-column tables
# are drawn (the long-value table's rows are of another size).
set terminal pngcairo size 1200,520 font "sans,10"
set output output
set datafile separator "\t"
set multiplot layout 1,2
set logscale x
set format x "10^{%L}"
set xlabel "rows fetched (4 columns: integer, real, 20 and 200 characters)"
set ylabel "rows per second (median wall clock)"
set yrange [0:*]
set grid
set key bottom right
keys = "raw-typed raw-text variables line array-fixed array-dynamic"
names = "'raw ODBC, typed' 'raw ODBC, text' 'variables' 'line' 'array, fixed' 'array, dynamic'"
# The rows of one form over the four-column tables, in the order of the run.
rows_of(file, key) = sprintf("< awk -F'\t' '$4 == 4 && $5 == \"%s\"' '%s'", key, file)
set title "Linux (i386, roridorezu linked in)"
plot for [i=1:words(keys)] rows_of(linux, word(keys, i)) using 3:7 with linespoints lw 2 title word(names, i)
set title "Windows DLL under Wine"
plot for [i=1:words(keys)] rows_of(wine, word(keys, i)) using 3:7 with linespoints lw 2 title word(names, i)
unset multiplot
