"""Which test programs a source file reaches, and running them, for tools/mutate.py.

The build folder is configured with CMake's file API, whose code model names
each target's sources and dependencies; a header reaches the targets of every
file that includes it, directly or through other headers. A test program
reaches a file when it or anything it links compiles that file. Its tests are
run as CTest would run them (the same test filter and environment), in two
shards at once, stopping at the first failure.
"""

import glob
import json
import os
import re
import shutil
import subprocess
import time

INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"', re.M)


class CVerdict:
    def __init__(self, built, killer=None):
        self.built = built
        self.killer = killer


class CRunner:
    def __init__(self, root, build, timeout):
        self.m_root = root
        self.m_build = build
        self.m_timeout = timeout
        self.m_targets = {}  # name -> {"sources": set, "deps": set, "type", "artifact"}
        self.m_programs = {}  # source path -> sorted test program names
        self.m_runs = {}  # program -> list of (command, env, gtest filter or None)
        self.m_limits = {}  # program -> seconds
        self.m_took = {}  # program -> seconds of its clean run
        self.m_killers = {}  # source path -> {program: test names that killed a mutant there}
        self.m_ctest_files = None

    # ---- set-up ------------------------------------------------------------------

    def prepare(self, paths):
        self.configure()
        self.load_code_model()
        includers = self.includers()
        programs = set()
        for path in paths:
            self.m_programs[path] = sorted(self.programs_reaching(path, includers))
            programs.update(self.m_programs[path])
            if not self.m_programs[path]:
                print(f"{path}: no test program links it", flush=True)
        if not programs:
            return
        if not self.build(sorted(programs)):
            raise SystemExit("the test programs do not build without mutants")
        self.load_tests(programs)
        self.baseline(sorted(programs))

    def configure(self):
        query = os.path.join(self.m_build, ".cmake", "api", "v1", "query", "codemodel-v2")
        os.makedirs(os.path.dirname(query), exist_ok=True)
        open(query, "a").close()
        args = ["cmake", "-S", self.m_root, "-B", self.m_build, "-DCORVANE_WERROR=OFF",
                "-DCORVANE_BUILD_BENCH=OFF"]
        if shutil.which("ccache"):
            args.append("-DCMAKE_CXX_COMPILER_LAUNCHER=ccache")
        subprocess.run(args, check=True, stdout=subprocess.DEVNULL)

    def load_code_model(self):
        reply = os.path.join(self.m_build, ".cmake", "api", "v1", "reply")
        index = sorted(glob.glob(os.path.join(reply, "index-*.json")))[-1]
        with open(index, encoding="utf-8") as f:
            model = json.load(f)["reply"]["codemodel-v2"]["jsonFile"]
        with open(os.path.join(reply, model), encoding="utf-8") as f:
            configuration = json.load(f)["configurations"][0]
        ids = {}
        for entry in configuration["targets"]:
            with open(os.path.join(reply, entry["jsonFile"]), encoding="utf-8") as f:
                target = json.load(f)
            ids[target["id"]] = target["name"]
            self.m_targets[target["name"]] = {
                "type": target["type"],
                "sources": {s["path"] for s in target.get("sources", [])},
                "dep_ids": [d["id"] for d in target.get("dependencies", [])],
            }
        for target in self.m_targets.values():
            target["deps"] = {ids[i] for i in target.pop("dep_ids") if i in ids}

    def includers(self):
        """{header: files that include it}, over src/ and tests/."""
        result = {}
        for folder in ("src", "tests", "bench"):
            for path in glob.glob(os.path.join(self.m_root, folder, "**", "*.*"), recursive=True):
                if not path.endswith((".cpp", ".h")):
                    continue
                relative = os.path.relpath(path, self.m_root)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for name in INCLUDE.findall(f.read()):
                        for header in (os.path.join("src", name),
                                       os.path.normpath(os.path.join(os.path.dirname(relative),
                                                                     name))):
                            result.setdefault(header, set()).add(relative)
        return result

    def closure(self, name):
        seen, todo = set(), [name]
        while todo:
            current = todo.pop()
            if current in seen or current not in self.m_targets:
                continue
            seen.add(current)
            todo.extend(self.m_targets[current]["deps"])
        return seen

    def programs_reaching(self, path, includers):
        files, todo = set(), [path]
        while todo:
            current = todo.pop()
            if current not in files:
                files.add(current)
                todo.extend(includers.get(current, ()))
        owners = {name for name, t in self.m_targets.items() if t["sources"] & files}
        return {name for name, t in self.m_targets.items()
                if t["type"] == "EXECUTABLE" and self.closure(name) & owners
                and self.is_test(name)}

    def is_test(self, name):
        if self.m_ctest_files is None:
            self.m_ctest_files = ""
            for path in glob.glob(os.path.join(self.m_build, "**", "CTestTestfile.cmake"),
                                  recursive=True):
                with open(path, encoding="utf-8", errors="replace") as f:
                    self.m_ctest_files += f.read()
        return re.search(r"[/\"]" + re.escape(name) + r"(\[1\]_include|[\"\s])",
                         self.m_ctest_files) is not None

    def build(self, programs):
        jobs = str(os.cpu_count() or 2)
        done = subprocess.run(["cmake", "--build", self.m_build, "-j", jobs, "--target",
                               *programs], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        return done.returncode == 0

    # ---- the tests ---------------------------------------------------------------

    def load_tests(self, programs):
        listing = subprocess.run(["ctest", "--test-dir", self.m_build, "--show-only=json-v1"],
                                 check=True, capture_output=True, text=True).stdout
        gtest = {}
        for test in json.loads(listing)["tests"]:
            command = test.get("command") or []
            env = {}
            for prop in test.get("properties", []):
                if prop["name"] == "ENVIRONMENT":
                    env.update(v.split("=", 1) for v in prop["value"])
            program = next((p for p in programs
                            if any(os.path.basename(a) == p for a in command)), None)
            if program is None:
                continue
            filters = [a for a in command if a.startswith("--gtest_filter=")]
            if filters and os.path.basename(command[0]) == program:
                entry = gtest.setdefault(program, (command[0], env, []))
                entry[2].append(filters[0].split("=", 1)[1])
            else:
                self.m_runs.setdefault(program, []).append((command, env, None))
        for program, (exe, env, names) in gtest.items():
            self.m_runs.setdefault(program, []).insert(0, ([exe], env, names))

    def baseline(self, programs):
        for program in programs:
            started = time.monotonic()
            failure = self.run_program(program, None, 3600)
            took = time.monotonic() - started
            if failure:
                raise SystemExit(f"{program} fails without mutants: {failure}")
            self.m_limits[program] = self.m_timeout or max(20.0, 3 * took)
            self.m_took[program] = took
        # The quickest programs first: a mutant that any of them kills costs least.
        for path, reaching in self.m_programs.items():
            reaching.sort(key=lambda p: self.m_took.get(p, 0))

    def run_program(self, program, only, limit):
        """The first failing test of the program's runs, or None; with only,
        just those of its GoogleTest cases (a program of another kind runs whole)."""
        for command, env, names in self.m_runs.get(program, []):
            if names is None:
                failure = self.run_command(command, env, limit)
            else:
                chosen = names if only is None else [n for n in names if n in only]
                if not chosen:
                    continue
                failure = self.run_gtest(command[0], env, chosen, limit)
            if failure:
                return failure
        return None

    def run_command(self, command, env, limit):
        name = os.path.basename(command[0])
        try:
            done = subprocess.run(command, env={**os.environ, **env}, timeout=limit,
                                  stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                                  cwd=self.m_build)
        except subprocess.TimeoutExpired:
            return f"{name} (timed out)"
        if done.returncode == 0:
            return None
        # A Qt Test program names its failing function as "FAIL!  : Class::function()".
        failed = re.findall(r"^FAIL!  : (\S+)", done.stdout.decode("utf-8", "replace"), re.M)
        return failed[0] if failed else f"{name} (exit {done.returncode})"

    def run_gtest(self, exe, env, names, limit):
        shards = 2 if len(names) > 1 else 1
        base = {**os.environ, **env, "GTEST_TOTAL_SHARDS": str(shards)}
        runs = []
        for index in range(shards):
            runs.append(subprocess.Popen(
                [exe, "--gtest_filter=" + ":".join(names), "--gtest_fail_fast", "--gtest_brief=1"],
                env={**base, "GTEST_SHARD_INDEX": str(index)}, cwd=self.m_build,
                stdout=subprocess.PIPE, stderr=subprocess.STDOUT, start_new_session=True))
        try:
            return self.collect(runs, exe, time.monotonic() + limit)
        finally:
            # Ctrl-C reaches this process only (the shards have sessions of
            # their own); nothing of a mutant may run on after it.
            for run in runs:
                if run.poll() is None:
                    os.killpg(run.pid, 9)
                    run.wait()

    @staticmethod
    def collect(runs, exe, deadline):
        failure = None
        for run in runs:
            try:
                output, _ = run.communicate(timeout=max(0.1, deadline - time.monotonic()))
            except subprocess.TimeoutExpired:
                os.killpg(run.pid, 9)
                run.communicate()
                failure = failure or f"{os.path.basename(exe)} (timed out)"
                continue
            if run.returncode != 0 and not failure:
                text = output.decode("utf-8", "replace")
                failed = re.findall(r"\[  FAILED  \] ([^\s,]+)", text)
                failure = failed[0] if failed else f"{os.path.basename(exe)} (exit {run.returncode})"
        return failure

    def judge(self, path):
        """Builds and runs one program at a time, those that caught this file's
        earlier mutants first (most mutants of a file fall to the same few
        tests), so a killed mutant costs one link, not one for every program."""
        programs = self.m_programs.get(path, [])
        killers = self.m_killers.setdefault(path, {})
        built = set()
        for program, only in [*((p, n) for p, n in killers.items()),
                              *((p, None) for p in programs)]:
            if program not in built:
                if not self.build([program]):
                    return CVerdict(False) if not built else CVerdict(True, f"{program} (link)")
                built.add(program)
            failure = self.run_program(program, only, self.m_limits[program])
            if failure:
                killers.setdefault(program, set()).add(failure)
                return CVerdict(True, failure)
        return CVerdict(True)
