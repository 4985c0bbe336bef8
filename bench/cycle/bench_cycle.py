#!/usr/bin/env python3
"""The cycle figures, each with its ratio measured in this run:
1. morvane AUTO (headless) against gbak -b then gbak -c through the service manager,
2. the header statistics request (our service component) against fbsvcmgr,
3. start-up to the header report shown against a minimal client's two round trips.
usage: bench_cycle.py <morvane> <header_stats_request> <database> <work folder> [pairs] [repetitions]"""
import glob, json, os, shutil, statistics, subprocess, sys, time

SERVER = "127.0.0.1"
USER = os.environ.get("ISC_USER", "SYSDBA")
PASSWORD = os.environ.get("ISC_PASSWORD", "plumtavern")
PAUSE = 0.250  # one colour mark, and the unattended start's delay

program, helper, master, work = sys.argv[1:5]
pairs = int(sys.argv[5]) if len(sys.argv) > 5 else 10
repetitions = int(sys.argv[6]) if len(sys.argv) > 6 else 30


def run(argv, cwd=None, env=None, check=True):
    start = time.perf_counter()
    result = subprocess.run(argv, cwd=cwd, env=env, stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    elapsed = time.perf_counter() - start
    if check and result.returncode != 0:
        sys.exit(f"{' '.join(argv)} ended with {result.returncode}:\n{result.stdout}{result.stderr}")
    return elapsed, result


def as_firebird(path):
    shutil.chown(path, "firebird", "firebird")


def fresh_folder(path):
    shutil.rmtree(path, ignore_errors=True)
    os.makedirs(path)
    as_firebird(path)


def header_value(report, name):
    for line in report.splitlines():
        words = line.split()
        if line.strip().startswith(name) and words and words[-1].isdigit():
            return int(words[-1])
    sys.exit(f"no '{name}' in the header report")


fresh_folder(work)
db_folder = os.path.join(work, "db")
fresh_folder(db_folder)
database = os.path.join(db_folder, "BD.FDB")
shutil.copyfile(master, database)
as_firebird(database)
os.chmod(database, 0o660)
dbfile = f"{SERVER}:{database}"
stats = ["fbsvcmgr", f"{SERVER}:service_mgr", "-user", USER, "-password", PASSWORD,
         "action_db_stats", "sts_hdr_pages", "dbname", database]
_, header = run(stats)
page_size = header_value(header.stdout, "Page size")
buffers = header_value(header.stdout, "Page buffers")
size_mb = os.path.getsize(database) / 1e6

# The program folder: profile, job settings (forced disconnection off, empty batch
# files, old file renamed after the restore), every level logged to a file.
folder = os.path.join(work, "program")
backups = os.path.join(work, "backups")
fresh_folder(folder)
fresh_folder(backups)
os.symlink(os.path.abspath(program), os.path.join(folder, "morvane"))
rename_path = os.path.join(db_folder, "BD.FIB.BKP")


def write_program_files(backup_folder):
    with open(os.path.join(folder, "Database.ini"), "w", newline="") as f:
        f.write(f"DatabaseName={dbfile}\r\n")
    with open(os.path.join(folder, "morvane.ini"), "w") as f:
        f.write(f"[{dbfile}]\nForcerDeconnexionClient=0\nBeforeBackup=0\nAfterRestore=1\n"
                f"RenamePath={rename_path}\nEmplacementBackup={backup_folder}/\n"
                "BatchFileBeforeBackup=StopServices.cmd\nBatchFileAfterBackup=MidProcess.cmd\n"
                "BatchFileAfterRestore=StartServices.cmd\n")
    with open(os.path.join(folder, "AppLogger.xml"), "w") as f:
        f.write('<?xml version="1.0" encoding="UTF-8"?>\n<AppLogger Version="1.2"><AllStations><AllApplications>\n'
                '  <Fichier class="TFileLogger" NiveauMax="255" LogSpecifique="0"><FileName>morvane.log</FileName>'
                '</Fichier>\n</AllApplications></AllStations></AppLogger>\n')
    for batch in ("StopServices.cmd", "MidProcess.cmd", "StartServices.cmd"):
        path = os.path.join(folder, batch)
        with open(path, "w") as f:
            f.write("#!/bin/sh\n")
        os.chmod(path, 0o755)


headless = {k: v for k, v in os.environ.items() if k not in ("DISPLAY", "WAYLAND_DISPLAY")}
headless["QT_QPA_PLATFORM"] = "offscreen"


def last_run_report():
    """The program keeps each database's last report in a state folder of its own,
    named after the database file: the newest one of this database."""
    if os.geteuid() == 0:
        root = "/var/lib/morvane"
    else:
        root = os.path.join(os.environ.get("XDG_STATE_HOME") or os.path.expanduser("~/.local/state"), "morvane")
    reports = glob.glob(os.path.join(root, os.path.basename(database) + "-*", "last-run.json"))
    return max(reports, key=os.path.getmtime)


def cycle_pauses():
    """The fixed pauses of one unattended run, from its run report: the start delay,
    four colour marks per header report (at start-up and after the swap) and eight
    when the four settings are written."""
    with open(last_run_report(), encoding="utf-8") as f:
        steps = json.load(f).get("steps", [])
    outcome = {s["name"]: s["outcome"] for s in steps}
    marks = 4 + (4 if outcome.get("swap") == "ok" else 0)
    marks += 8 if outcome.get("écriture des réglages") == "ok" else 0
    return 1 + marks, steps


def clean_between_runs():
    for name in os.listdir(backups):
        os.remove(os.path.join(backups, name))
    for path in (rename_path, os.path.join(db_folder, "GBAK.FDB")):
        if os.path.exists(path):
            os.remove(path)


# Figure 1 ---------------------------------------------------------------------
write_program_files(backups)
fbk = os.path.join(backups, "GBAK.FBK")
rows, step_ms, gbak_steps = [], [], []
def settled():
    """The disk written back before a timed command: neither side pays for what the
    other left to write."""
    os.sync()
    time.sleep(0.5)


for pair in range(pairs):
    clean_between_runs()
    settled()
    b, _ = run(["gbak", "-b", "-g", "-se", f"{SERVER}:service_mgr", "-user", USER, "-password", PASSWORD, database, fbk])
    c, _ = run(["gbak", "-c", "-se", f"{SERVER}:service_mgr", "-user", USER, "-password", PASSWORD,
                "-p", str(page_size), "-bu", str(buffers), fbk, os.path.join(db_folder, "GBAK.FDB")])
    clean_between_runs()
    settled()
    t, result = run([os.path.join(folder, "morvane"), "AUTO"], cwd=folder, env=headless, check=False)
    if result.returncode != 0:
        sys.exit(f"morvane AUTO ended with {result.returncode}:\n{result.stderr}")
    count, steps = cycle_pauses()
    rows.append((b + c, t, count * PAUSE))
    step_ms.append({st["name"]: st.get("durationMs", 0) for st in steps})
    gbak_steps.append((b, c))
    print(f"  pair {pair + 1}: gbak {b:.2f}+{c:.2f} s, morvane AUTO {t:.2f} s with {count} pauses "
          f"(backup {step_ms[-1].get('backup', 0) / 1e3:.2f} s, restore {step_ms[-1].get('restore', 0) / 1e3:.2f} s)",
          flush=True)

gbak_total = sum(r[0] for r in rows)
cycle_total = sum(r[1] for r in rows)
pause_total = sum(r[2] for r in rows)
print(f"\nFigure 1: unattended cycle against gbak through the service manager ({size_mb:.0f} MB, "
      f"page size {page_size}, buffers {buffers}, {pairs} pairs alternated)")
print(f"{'pair':>4} {'gbak -b + -c (s)':>17} {'morvane AUTO (s)':>17} {'fixed pauses (s)':>17} {'AUTO - pauses (s)':>18} {'ratio':>6}")
for i, (g, t, p) in enumerate(rows, 1):
    print(f"{i:>4} {g:>17.2f} {t:>17.2f} {p:>17.2f} {t - p:>18.2f} {(t - p) / g:>6.3f}")
print(f" sum {gbak_total:>17.2f} {cycle_total:>17.2f} {pause_total:>17.2f} {cycle_total - pause_total:>18.2f} "
      f"{(cycle_total - pause_total) / gbak_total:>6.3f}   (target <= 1.02)")
print("  steps of the last run: " + ", ".join(f"{s['name']} {s['outcome']}" for s in steps))
# Where the cycle's time goes, from its run reports (seconds, summed over the pairs).
names = []
for m in step_ms:
    names += [n for n in m if n not in names]
sums = {n: sum(m.get(n, 0) for m in step_ms) / 1e3 for n in names}
print(f"  cycle steps: backup {sums.get('backup', 0):.2f} s (gbak -b {sum(g[0] for g in gbak_steps):.2f} s), "
      f"restore {sums.get('restore', 0):.2f} s (gbak -c {sum(g[1] for g in gbak_steps):.2f} s)")
print("  the other steps: " + ", ".join(f"{n} {sums[n]:.2f} s" for n in names if n not in ("backup", "restore")))
others = cycle_total - pause_total - sums.get("backup", 0) - sums.get("restore", 0)
print(f"  backup + restore steps over gbak: {(sums.get('backup', 0) + sums.get('restore', 0)) / gbak_total:.3f}; "
      f"the rest of the run (shutdowns, moves, the wait for the old path, verification, header reads, start and end "
      f"of the process): {others:.2f} s, {others / pairs:.2f} s a run")

# Figure 2 ---------------------------------------------------------------------
ours, theirs = [], []
for i in range(repetitions):
    a, r = run([helper, SERVER, dbfile, USER, PASSWORD])
    b, _ = run(stats)
    ours.append(a)
    theirs.append(b)
lines = r.stdout.strip()
print(f"\nFigure 2: header statistics request, one process per request, {repetitions} alternated pairs "
      f"({lines} report lines)")
print(f"{'':>28} {'median (ms)':>12} {'mean (ms)':>10}")
print(f"{'our service component':>28} {statistics.median(ours) * 1e3:>12.2f} {statistics.mean(ours) * 1e3:>10.2f}")
print(f"{'fbsvcmgr sts_hdr_pages':>28} {statistics.median(theirs) * 1e3:>12.2f} {statistics.mean(theirs) * 1e3:>10.2f}")
print(f"{'ratio':>28} {statistics.median(ours) / statistics.median(theirs):>12.3f} "
      f"{statistics.mean(ours) / statistics.mean(theirs):>10.3f}   (target <= 1.2)")

# Figure 3 ---------------------------------------------------------------------
# The program has no switch to stop once idle: AUTO with a backup folder that does
# not exist ends right after start-up, the start delay and the cycle's refusal.
write_program_files(os.path.join(work, "no-such-folder"))
minimal_sql = os.path.join(work, "info.sql")
with open(minimal_sql, "w") as f:
    f.write("SELECT MON$PAGE_SIZE, MON$PAGE_BUFFERS, MON$SWEEP_INTERVAL, MON$FORCED_WRITES, MON$RESERVE_SPACE "
            "FROM MON$DATABASE;\n")
starts, minimal = [], []
for i in range(max(5, repetitions // 3)):
    t, result = run([os.path.join(folder, "morvane"), "AUTO"], cwd=folder, env=headless, check=False)
    if result.returncode == 0:
        sys.exit("the start-up run was expected to be refused, it ran a cycle")
    starts.append(t - (1 + 4) * PAUSE)
    a, _ = run(["isql-fb", "-q", "-user", USER, "-password", PASSWORD, "-i", minimal_sql, dbfile])
    b, _ = run(stats)
    minimal.append(a + b)
print(f"\nFigure 3: start-up to the header report shown (headless, {len(starts)} alternated pairs; "
      "the start delay and the four colour marks taken off)")
print(f"{'':>36} {'median (ms)':>12}")
print(f"{'morvane start-up (exit status ' + str(result.returncode) + ')':>36} {statistics.median(starts) * 1e3:>12.1f}")
print(f"{'minimal client: isql-fb + fbsvcmgr':>36} {statistics.median(minimal) * 1e3:>12.1f}")
print(f"{'ratio':>36} {statistics.median(starts) / statistics.median(minimal):>12.2f}")
print(f"  last refusal: {result.stderr.strip().splitlines()[-1] if result.stderr.strip() else '(no message)'}")
