#!/usr/bin/env bash
# Runs arvelle's benchmark, the hand-written C++ baseline and the EMF peer in turn, several times each,
# checks every output and prints a Markdown table of the medians per step with arvelle's ratios.
# Usage: bench/compare.sh [-r RUNS] [-b BENCH] [-p PEERS] [-o DIR] [--no-emf] [N]   (see bench/README.md)
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
repo=$(dirname "$here")
# The peers live in the shared folder beside the repository.
n=100000 runs=3 bench='' peers=$repo/../shared/bench/peers keep='' emf=1

usage() { sed -n '2,4s/^# \{0,1\}//p' "$0"; }
die() { printf 'compare.sh: %s\n' "$*" >&2; exit 1; }
note() { printf 'compare.sh: %s\n' "$*" >&2; }

while (($#)); do
  case $1 in
    -r | --runs) runs=${2:?}; shift 2 ;;
    -b | --bench) bench=${2:?}; shift 2 ;;
    -p | --peers) peers=${2:?}; shift 2 ;;
    -o | --output) keep=${2:?}; shift 2 ;;
    --no-emf) emf=0; shift ;;
    -h | --help) usage; exit 0 ;;
    -*) usage >&2; exit 2 ;;
    *) n=$1; shift ;;
  esac
done
[[ $n =~ ^[1-9][0-9]*$ ]] || die "N must be a positive integer, not '$n'"
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "the number of runs must be a positive integer, not '$runs'"
[[ -x $peers/baseline/run.sh ]] || die "no baseline peer under $peers (use -p)"
peers=$(cd "$peers" && pwd)

# Our program: the default one is built if missing.
if [[ -z $bench ]]; then
  bench=$repo/build/bench/arvelle-bench
  if [[ ! -x $bench ]]; then
    note "building $bench"
    [[ -f $repo/build/CMakeCache.txt ]] || cmake -S "$repo" -B "$repo/build" -G Ninja >&2
    cmake --build "$repo/build" --target arvelle-bench >&2
  fi
fi
[[ -x $bench ]] || die "no benchmark binary at $bench"
build_type=$(sed -n 's/^CMAKE_BUILD_TYPE:STRING=//p' "$(dirname "$(dirname "$bench")")/CMakeCache.txt" 2>/dev/null || true)
if [[ $build_type == Debug || -z $build_type ]]; then
  note "warning: $bench is a ${build_type:-non-CMake or unknown} build; its times mean little beside the peers' (configure with -DCMAKE_BUILD_TYPE=Release)"
fi

# EMF needs a JDK and Debian's EMF jars (the same ones its run.sh looks for).
emf_why=''
if ((emf == 0)); then
  emf_why='skipped (--no-emf)'
elif ! command -v javac >/dev/null || ! command -v java >/dev/null; then
  emf_why='skipped (no JDK)'
else
  for jar in common ecore ecore-xmi ecore-change; do
    [[ -r /usr/share/java/eclipse-emf-$jar.jar ]] || emf_why="skipped (no eclipse-emf-$jar.jar)"
  done
fi
impls=(arvelle baseline)
if [[ -z $emf_why ]]; then impls+=(emf); else note "EMF $emf_why; its columns show '-'"; fi

if [[ -n $keep ]]; then
  mkdir -p "$keep" && tmp=$keep
else
  tmp=$(mktemp -d)
  trap 'rm -rf "$tmp"' EXIT
fi
rm -f "$tmp/records"

progress() { if [[ -t 2 ]]; then printf '\r\033[K%s' "$*" >&2; fi; }

# The steps in the order the workload runs them; W7, W8 and W6 are optional per program (see problem).
all_steps=(W1-build W2-edit W3-undo W4-reflect W5-lookup W7-query W8-append W8-rename W8-remove W8-undo
  W6-save W6-load)

# What the workload prescribes after the seconds of a step's line at this N (a regular expression).
extra_of() { # step
  local wide=$((n < 100000 ? n : 100000)) buses=0 c undos
  for ((c = 10; c < n; c *= 10)); do buses=$((buses + (n + c - 1) / c)); done
  undos=$((2 * wide + wide / 2)); ((undos > 1000)) && undos=1000
  case $1 in
    # W1 may say how it built the tree (arvelle: which transactions it used).
    W1-build) echo '( [a-z_]+=[^ ]+)*' ;;
    W4-reflect) echo " checksum=$((10 * n))" ;;
    W7-query) echo " matches=$(((n + 7) / 10)) named=$((n + buses))" ;;
    W8-append | W8-rename) echo " ops=$wide" ;;
    W8-remove) echo " ops=$((wide / 2))" ;;
    W8-undo) echo " ops=$undos" ;;
    W6-save) echo ' bytes=[1-9][0-9]*' ;;
    # W6-load may say what the load added to the peak memory.
    W6-load) echo '( [a-z_]+=[^ ]+)*' ;;
  esac
}

# Prints why an output file is not what the workload prescribes, or nothing if it is. W1-W5 are required
# of every program; W7 and the four W8 lines of the peers (arvelle: once it prints any of them); W6 of EMF
# and of any program that prints a W6 line.
problem() { # impl file
  local impl=$1 file=$2 w line extra steps=(W1-build W2-edit W3-undo W4-reflect W5-lookup) order
  if [[ $impl != arvelle ]] || grep -q "^impl=$impl workload=W7-" "$file"; then steps+=(W7-query); fi
  if [[ $impl != arvelle ]] || grep -q "^impl=$impl workload=W8-" "$file"; then
    steps+=(W8-append W8-rename W8-remove W8-undo)
  fi
  if [[ $impl == emf ]] || grep -q "^impl=$impl workload=W6-" "$file"; then steps+=(W6-save W6-load); fi
  for w in "${steps[@]}"; do
    extra=$(extra_of "$w")
    line=$(grep "^impl=$impl workload=$w " "$file" || true)
    [[ $line =~ ^impl=$impl\ workload=$w\ n=$n\ seconds=[0-9]+\.[0-9]{6}\ ops_per_s=[^\ ]+$extra$ ]] ||
      { echo "expected one $w line with n=$n${extra:+ and$extra}, got: '${line//$'\n'/ | }'"; return; }
  done
  grep -Eq "^impl=$impl peak_rss_kib=[1-9][0-9]*$" "$file" || { echo "no peak_rss_kib line"; return; }
  (($(wc -l <"$file") == ${#steps[@]} + 1)) || { echo "unexpected extra lines on stdout"; return; }
  order=$(sed -n 's/^impl=[^ ]* workload=\([^ ]*\) .*/\1/p' "$file" | tr '\n' ' ')
  [[ $order == "$(printf '%s ' "${steps[@]}")" ]] || echo "steps out of the workload's order: $order"
}

for ((r = 1; r <= runs; r++)); do
  for impl in "${impls[@]}"; do
    progress "run $r/$runs $impl (N=$n) ..."
    out=$tmp/$impl.$r.out err=$tmp/$impl.$r.err rc=0
    case $impl in
      arvelle) "$bench" "$n" ;;
      *) "$peers/$impl/run.sh" "$n" ;;
    esac >"$out" 2>"$err" </dev/null || rc=$?
    if ((rc == 0)); then why=$(problem "$impl" "$out"); else why="exit code $rc"; fi
    ((rc > 128)) && why+=" (signal $((rc - 128)))"
    if [[ -n $why ]]; then
      progress ''
      note "$impl failed in run $r/$runs at N=$n: $why"
      { echo '--- stdout (last 20 lines)'; tail -n 20 "$out"; echo '--- stderr (last 20 lines)'; tail -n 20 "$err"; } >&2
      exit 1
    fi
    # Records: impl run key value
    awk -v r="$r" '{ split($1, i, "="); for (f = 2; f <= NF; f++) { split($f, kv, "=");
        if (kv[1] == "workload") w = kv[2]; if (kv[1] == "seconds") print i[2], r, w, kv[2];
        if (kv[1] == "peak_rss_kib") print i[2], r, "peak", kv[2] } }' "$out" >>"$tmp/records"
  done
done
progress ''

# Header: what ran where and when.
cpu=$(awk -F': *' '/^model name/ { print $2; exit }' /proc/cpuinfo)
mem=$(awk '/^MemTotal:/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo)
commit=$(git -C "$repo" rev-parse --short HEAD 2>/dev/null || echo unknown)
[[ -z $(git -C "$repo" status --porcelain --untracked-files=no 2>/dev/null) ]] || commit+=' with local changes'
emf_info=${emf_why:-"$(java -version 2>&1 | head -n 1), ${BENCH_JAVA_OPTS:--Xmx8g}"}
echo "- N = $n, medians of $runs runs per program, $(date '+%Y-%m-%d %H:%M %Z')"
echo "- Machine: ${cpu:-unknown CPU}, $(nproc) cores, $mem RAM"
echo "- arvelle: ${build_type:-unknown} build, commit $commit · baseline: $(g++ --version | head -n 1) · EMF: $emf_info"
echo

awk '
  function median(key, k, m, i, j, x, a) {
    m = cnt[key]; if (!m) return ""
    for (i = 1; i <= m; i++) a[i] = val[key, i]
    for (i = 2; i <= m; i++) { x = a[i]; for (j = i - 1; j > 0 && a[j] > x; j--) a[j + 1] = a[j]; a[j + 1] = x }
    return m % 2 ? a[(m + 1) / 2] : (a[m / 2] + a[m / 2 + 1]) / 2
  }
  function ratio(a, b) { return a == "" || b == "" || b == 0 ? "-" : sprintf("%.3g", a / b) }
  function row(label, key, scale, fmt, i, v) {
    for (i = 1; i <= 3; i++) v[i] = median(name[i] SUBSEP key)
    if (v[1] == "" && v[2] == "" && v[3] == "") return
    printf "| %s |", label
    for (i = 1; i <= 3; i++) printf " %s |", v[i] == "" ? "-" : sprintf(fmt, v[i] * scale)
    printf " %s | %s |\n", ratio(v[1], v[2]), ratio(v[1], v[3])
  }
  { key = $1 SUBSEP $3; val[key, ++cnt[key]] = $4
    if ($3 ~ /^W[1-5]-/) total[$1 SUBSEP $2] += $4 }
  END {
    for (k in total) { split(k, p, SUBSEP); key = p[1] SUBSEP "total"; val[key, ++cnt[key]] = total[k] }
    split("arvelle baseline emf", name, " ")
    print "| step | arvelle ms | baseline ms | EMF ms | arvelle/baseline | arvelle/EMF |"
    print "| --- | ---: | ---: | ---: | ---: | ---: |"
    n = split(order, steps, " ")
    for (s = 1; s <= n; s++) row(steps[s], steps[s], 1000, "%.3f")
    row("W1…W5 sum", "total", 1000, "%.3f")
    row("peak RSS MiB", "peak", 1 / 1024, "%.1f")
  }' order="${all_steps[*]}" "$tmp/records"
echo
echo "Medians of wall-clock times per step; a ratio above 1 means arvelle takes longer or uses more memory."
