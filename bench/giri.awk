# The FIGURE lines (format in scripts/bench.sh) of a benchmark that runs one export's data
# road twice on a household file and times mdb-export of Operazioni on the same file.
# Reads the benchmark's own output (file_mb, primo_giro_s, secondo_giro_s,
# picco_processo_mb, picco_figlio_mb); variables: b the benchmark's name, m mdb-export's
# seconds, and the aims: primo (first run / mdb-export), secondo (second run / first),
# memoria (peak of process and child together / file size).
/^file_mb/ { f = $2 }
/^primo_giro_s/ { p = $2 }
/^secondo_giro_s/ { s = $2 }
/^picco_processo_mb/ { a = $2 }
/^picco_figlio_mb/ { c = $2 }
END {
  printf "FIGURE|%s.primo_giro_s|%.3f|-\n", b, p
  printf "FIGURE|%s.secondo_giro_s|%.3f|-\n", b, s
  printf "FIGURE|%s.mdb_export_s|%.3f|-\n", b, m
  printf "FIGURE|%s.primo_su_mdb_export|%.3f|<= %s\n", b, p / m, primo
  printf "FIGURE|%s.secondo_su_primo|%.3f|<= %s\n", b, s / p, secondo
  printf "FIGURE|%s.picco_memoria_su_file|%.2f|<= %s\n", b, (a + c) / f, memoria
}
