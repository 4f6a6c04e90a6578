# The cost of one timer run against the level's size, log-log.
# Called by scripts/plot_bench.sh with datafile and outfile set; columns:
# actors, then CPU ms for: 1, 10, 100 held entries (tally), 100 spawning
# entries (tally), 100 held entries walked once per entry.
set terminal pngcairo size 720,460 font "DejaVu Sans,10"
set output outfile
set title "One timer run: CPU time against actors in the level"
set xlabel "actors in the level"
set ylabel "CPU time per run (ms)"
set logscale xy
set format x "%.0s%c"
set xrange [7000:1400000]
set grid
set key top left
set datafile missing "NaN"
plot datafile using 1:2 with linespoints lw 2 pt 7 title "1 due entry, held", \
     datafile using 1:3 with linespoints lw 2 pt 5 title "10 due entries, held", \
     datafile using 1:4 with linespoints lw 2 pt 9 title "100 due entries, held", \
     datafile using 1:5 with linespoints lw 2 pt 11 title "100 due entries, all spawning", \
     datafile using 1:6 with linespoints lw 2 dt 2 pt 13 lc rgb "#b00000" title "100 held, walked per entry (old)"
