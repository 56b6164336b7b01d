"""The page in headless Chromium: its results against the programs, its errors, its Worker.

Run by ctest (Browser.Page) after the WebAssembly build; serves the built folder from a local
static server on a free port and drives Debian's chromium through chromedriver.
"""
import argparse
import json
import math
import os
import random
import shutil
import subprocess
import sys
import tempfile
import time
import unittest

from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import Select, WebDriverWait

from browser import start_browser, start_server

ARGS = None
# Generous: under a loaded machine the first WebAssembly compile takes a while.
WAIT_SECONDS = 120

FLOAT_FIELDS = ["log_mean", "log_sd", "mvue", "sample_mean", "plug_in", "mean_lower", "mean_upper"]


def run(command):
    return subprocess.run(command, capture_output=True, text=True, check=False)


def nine_digits(x):
    return float(f"{x:.9g}")


class PageTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.server = start_server(ARGS.site)
        cls.base = f"http://127.0.0.1:{cls.server.server_address[1]}/index.html"
        cls.profile = tempfile.TemporaryDirectory()
        cls.driver = start_browser(ARGS.chromium, ARGS.chromedriver, cls.profile.name)
        cls.driver.set_script_timeout(WAIT_SECONDS)
        os.makedirs(ARGS.screenshots, exist_ok=True)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.server.shutdown()
        cls.profile.cleanup()

    def tearDown(self):
        # Never an uncaught exception, nor a resource that failed to load.
        severe = [e["message"] for e in self.driver.get_log("browser") if e["level"] == "SEVERE"]
        self.assertEqual(severe, [])

    # ---- helpers ---------------------------------------------------------------------------

    def open(self, query=""):
        self.driver.get(self.base + query)

    def wait_state(self, element_id, states):
        WebDriverWait(self.driver, WAIT_SECONDS).until(
            lambda d: d.find_element(By.ID, element_id).get_attribute("data-state") in states)
        return self.driver.find_element(By.ID, element_id).get_attribute("data-state")

    def paste(self, text):
        self.driver.execute_script(
            "const area = document.getElementById('data'); area.value = arguments[0];"
            "area.dispatchEvent(new Event('input'));", text)

    def fields(self):
        """data-field -> data-value of the results (the first row's, one confidence level)."""
        out = {}
        for e in self.driver.find_elements(By.CSS_SELECTOR, "#results [data-field]"):
            out.setdefault(e.get_attribute("data-field"), e.get_attribute("data-value"))
        return out

    def choose_column(self, value):
        self.driver.execute_script(
            "const s = document.getElementById('column'); s.value = arguments[0];"
            "s.dispatchEvent(new Event('change'));", value)
        # The answer for the earlier choice may still be shown: wait for this one's.
        WebDriverWait(self.driver, WAIT_SECONDS).until(
            lambda d: d.find_element(By.ID, "state").get_attribute("data-state") == "busy"
            or d.find_element(By.ID, "read-from").text.startswith(f"Measurements read from column {value} ")
            or d.find_element(By.ID, "data-error").text != "")

    def open_file(self, name, text):
        folder = tempfile.mkdtemp(dir=ARGS.screenshots)
        path = os.path.join(folder, name)
        with open(path, "w", encoding="utf-8") as f:
            f.write(text)
        self.driver.find_element(By.ID, "file").send_keys(path)

    def viewport(self, width, height):
        self.driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": height, "deviceScaleFactor": 1, "mobile": width < 600})

    def shot(self, name):
        self.driver.save_screenshot(os.path.join(ARGS.screenshots, f"{name}.png"))

    def data_program(self, arguments, text=None, name="data"):
        """lvlim-data run on `text` in a file called `name` (or on ARGS.example): the outcome."""
        if text is None:
            return run([ARGS.lvlim_data] + arguments + [ARGS.example])
        with tempfile.TemporaryDirectory() as folder:
            with open(os.path.join(folder, name), "w", encoding="utf-8") as f:
                f.write(text)
            return subprocess.run([ARGS.lvlim_data] + arguments + [name], cwd=folder,
                                  capture_output=True, text=True, check=False)

    def expected_from_data_program(self, kind, confidence):
        """lvlim-data's JSON row for the shipped example."""
        done = self.data_program(["--format=json", f"--{kind}", f"--confidence={confidence}"])
        self.assertEqual(done.returncode, 0, done.stderr)
        row = json.loads(done.stdout)["results"][0]
        return {k: row[k] for k in ["n", "status"] + FLOAT_FIELDS}

    # ---- the cases -------------------------------------------------------------------------

    def test_shipped_example_equals_the_data_program(self):
        with open(ARGS.example, encoding="utf-8") as f:
            text = f.read()
        for kind in ["two-sided", "upper"]:
            with self.subTest(kind=kind):
                self.open(f"?kind={kind}&confidence=0.95")
                self.paste(text)
                self.assertEqual(self.wait_state("state", ["done", "error"]), "done")
                got = self.fields()
                expected = self.expected_from_data_program(kind, 0.95)
                self.assertEqual(int(got["n"]), expected["n"])
                self.assertEqual(got["status"], expected["status"])
                for name in FLOAT_FIELDS:
                    want = expected[name]
                    if want is None:
                        self.assertNotIn(name, got)
                        continue
                    # Equal to the last bit: the same API summarises and computes in both.
                    self.assertEqual(float(got[name]), want, f"{name} against lvlim-data")
                # 6 significant digits on screen, the full value in data-value.
                shown = self.driver.find_element(By.CSS_SELECTOR, '[data-field="mean_upper"]').text
                self.assertEqual(shown, f"{float(got['mean_upper']):#.6g}".rstrip("."))
                if kind == "two-sided":
                    self.shot("measurements")
                    # The same on a phone-sized screen: one column, nothing wider than it.
                    d = self.driver
                    d.set_window_size(390, 844)
                    try:
                        width = d.execute_script("return document.documentElement.scrollWidth")
                        inner = d.execute_script("return window.innerWidth")
                        self.assertLessEqual(width, inner)
                        self.shot("measurements-phone")
                    finally:
                        d.set_window_size(1280, 1100)
                    # The link reproduces the result.
                    self.assertIn("data=3.2,5.1,12.7", self.driver.current_url)

    def test_a_csv_column_and_the_json_download(self):
        d = self.driver
        folder = tempfile.mkdtemp(dir=ARGS.screenshots)
        d.execute_cdp_cmd("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": folder})
        csv = os.path.join(folder, "wells.csv")
        with open(csv, "w", encoding="utf-8") as f:
            f.write('\ufeffid,"site, name",conc\r\n1,"a, b",1.2\r\n2,c,3.4\r\n3,d,5.6\r\n4,e,2.2\r\n')
        self.open("?kind=upper&confidence=0.9,0.95")
        d.find_element(By.ID, "file").send_keys(csv)
        # Identifiers and concentrations are both numbers: the user chooses.
        self.assertEqual(self.wait_state("state", ["done", "error"]), "error")
        self.choose_column("3")
        self.assertEqual(self.wait_state("state", ["done", "error"]), "done")
        self.assertEqual(d.find_element(By.ID, "read-from").text,
                         "Measurements read from column 3 (conc).")
        self.assertEqual(self.fields()["n"], "4")
        self.assertEqual(self.fields()["sample_mean"], str((1.2 + 3.4 + 5.6 + 2.2) / 4))

        d.find_element(By.ID, "download-json").click()
        path = os.path.join(folder, "lvlim-results.json")
        WebDriverWait(d, WAIT_SECONDS).until(lambda _: os.path.exists(path))
        with open(path, encoding="utf-8") as f:
            rows = json.load(f)["results"]
        self.assertEqual([r["confidence"] for r in rows], [0.9, 0.95])
        program = self.data_program(["--format=json"])
        self.assertEqual(list(rows[0]), list(json.loads(program.stdout)["results"][0]))
        shown = d.find_elements(By.CSS_SELECTOR, '[data-field="mean_upper"]')
        self.assertEqual([r["mean_upper"] for r in rows], [float(e.get_attribute("data-value")) for e in shown])
        self.assertIsNone(rows[0]["mean_lower"])
        self.assertEqual(rows[0]["kind"], "upper")

    def test_summary_link_shows_the_programs_limits(self):
        self.open("?n=21&log_mean=3.1&log_sd=1.2&kind=two-sided&confidence=0.95")
        self.assertEqual(self.wait_state("state", ["done", "error"]), "done")
        got = self.fields()
        printed = {}
        done = subprocess.run([ARGS.lvlim], input="3 0.95 0.5 1.2 20 3.1 21 /\n",
                              capture_output=True, text=True, check=True)
        for line in done.stdout.splitlines():
            key, _, value = line.partition("=")
            printed[key.strip()] = value.strip().rstrip("+").strip()
        lower = float(printed["LowerConfidenceLimit"])
        upper = float(printed["UpperConfidenceLimit"])
        # lvlim prints 9 significant digits; the page keeps all of them.
        self.assertEqual(nine_digits(float(got["log_lower"])), lower)
        self.assertEqual(nine_digits(float(got["log_upper"])), upper)
        # The limits of the mean are their exponentials (to the 9 digits printed).
        self.assertAlmostEqual(float(got["mean_lower"]) / math.exp(lower), 1.0, delta=3e-8)
        self.assertAlmostEqual(float(got["mean_upper"]) / math.exp(upper), 1.0, delta=3e-8)
        self.assertEqual(got["sample_mean"], "")
        label = self.driver.find_element(By.CSS_SELECTOR, "#result-body .row dt").text
        self.assertEqual(label, "95% confidence interval of the mean, lower limit")
        self.shot("summary-statistics")

        # The same from the folder itself, with no server: file:// URLs.
        page = "file://" + os.path.abspath(os.path.join(ARGS.site, "index.html"))
        self.driver.get(page + "?n=21&log_mean=3.1&log_sd=1.2&kind=two-sided&confidence=0.95")
        self.assertEqual(self.wait_state("state", ["done", "error"]), "done")
        self.assertEqual(self.fields(), got)
        self.open("?n=21&log_mean=3.1&log_sd=1.2&kind=two-sided&confidence=0.95")

        # The tabs answer the keyboard.
        tab = self.driver.find_element(By.ID, "tab-summary")
        tab.send_keys(Keys.ARROW_RIGHT)
        self.assertEqual(self.driver.find_element(By.ID, "tab-plan").get_attribute("aria-selected"), "true")
        self.assertEqual(self.driver.switch_to.active_element.get_attribute("id"), "tab-plan")

    def test_errors_next_to_their_field(self):
        self.open()
        text = "3.2 5.1\n4.4, 0, 2.5\n"
        self.paste(text)
        self.assertEqual(self.wait_state("state", ["done", "error"]), "error")
        message = self.driver.find_element(By.ID, "data-error").text
        # Pasted measurements are named "data", as lvlim-data names a file of that name.
        done = self.data_program([], text)
        self.assertEqual(done.returncode, 1)
        self.assertEqual("lvlim-data: " + message + "\n", done.stderr)
        self.assertIn("data, line 2, value 2: '0' is not positive", message)
        self.assertEqual(self.driver.find_element(By.ID, "data").get_attribute("aria-invalid"), "true")
        self.assertEqual(self.driver.find_elements(By.CSS_SELECTOR, '[data-field="mean_upper"]'), [])
        self.shot("error")

        self.open("?n=2&log_mean=1&log_sd=1&confidence=1.5")
        self.assertEqual(self.wait_state("state", ["done", "error"]), "error")
        self.assertEqual(self.driver.find_element(By.ID, "n-error").text,
                         "2 measurements; the supported range is 3 to 100001 measurements")
        self.assertIn("strictly between 0 and 1",
                      self.driver.find_element(By.ID, "confidence-error").text)

    def test_each_item_is_read_as_lvlim_data_reads_it(self):
        # The WebAssembly build converts numbers with its own std::from_chars (its C++ library
        # has none for doubles): item by item, the engine in node against the program.
        items = ["1.5", ".5", "5.", "007", "1E+5", "2.5e-3", "1e", "e5", ".", "-", "+1", "-1", "0",
                 "-0", "0x10", "1p3", "inf", "-INF", "Infinity", "nan", "nan(1)", "1e400",
                 "1e-400", "4.9e-324", "1.7976931348623157e308", "1.2.3", "1e5.5", "12abc",
                 "0.1000000000000000055511151231257827", "9007199254740993", "1,5", "\u00b5"]
        script = """
            const create = require(process.argv[1]);
            create().then((m) => console.log(JSON.stringify(JSON.parse(process.argv[2]).map((item) => {
              const o = m.fromMeasurements('1 2 ' + item + '\\n', 'data', '', 'upper', '0.95', '0.95', '');
              return o.errors.length ? o.errors[0].message : o.summary.log_mean;
            }))));"""
        done = run(["node", "-e", script, os.path.abspath(os.path.join(ARGS.site, "lvlim_web.js")),
                    json.dumps(items)])
        self.assertEqual(done.returncode, 0, done.stderr)
        page = json.loads(done.stdout)
        for item, got in zip(items, page, strict=True):
            with self.subTest(item=item):
                program = self.data_program(["--format=json", "--upper"], f"1 2 {item}\n")
                if program.returncode == 0:
                    self.assertEqual(got, json.loads(program.stdout)["results"][0]["log_mean"])
                else:
                    self.assertEqual("lvlim-data: " + str(got) + "\n", program.stderr)

    def test_a_failed_search_is_marked(self):
        self.open("?n=20&log_mean=2&log_sd=0.9&kind=two-sided&confidence=0.9999999999999")
        self.assertEqual(self.wait_state("state", ["done", "error"]), "done")
        self.assertEqual(self.fields()["status"], "search failed")
        self.assertIn("⚠", self.driver.find_element(By.CSS_SELECTOR, '[data-field="mean_upper"]').text)
        self.assertIn("failed", self.driver.find_element(By.ID, "state").text)

    def test_a_large_paste_leaves_the_page_responsive(self):
        self.open("?kind=upper&confidence=0.95")
        rng = random.Random(7)
        values = [f"{math.exp(rng.gauss(1.0, 0.8)):.6g}" for _ in range(100001)]
        # The page's thread counts its timer ticks while the Worker computes: a computation on
        # that thread would let none run between the start and the answer ...
        ticks = self.driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const state = document.getElementById('state');
            let busyTicks = 0, sawBusy = false;
            const area = document.getElementById('data');
            area.value = arguments[0];
            area.dispatchEvent(new Event('input'));
            const tick = () => {
              const s = state.dataset.state;
              if (s === 'busy') { sawBusy = true; ++busyTicks; }
              if (sawBusy && s !== 'busy') { done({busyTicks, state: s}); return; }
              setTimeout(tick, 0);
            };
            tick();
        """, "\n".join(values))
        self.assertEqual(ticks["state"], "done")
        self.assertGreaterEqual(ticks["busyTicks"], 1)
        # ... and the engine is not in the page at all: only the Worker loaded it.
        scripts = self.driver.execute_script(
            "return performance.getEntriesByType('resource').map(e => e.name)")
        self.assertTrue(any(s.endswith("/worker.js") for s in scripts), scripts)
        self.assertFalse(any(s.endswith("/lvlim_web.js") for s in scripts), scripts)
        self.assertEqual(int(self.fields()["n"]), 100001)
        self.assertTrue(math.isfinite(float(self.fields()["mean_upper"])))
        self.shot("large-paste")

    def test_table_equals_the_table_program(self):
        ns = [3, 5, 8, 12, 20, 35, 60, 100, 300, 1001]
        sigmas = [0.1, 0.2, 0.35, 0.5, 0.8, 1.2, 2, 3.5, 6, 10]
        self.open("?tab=table")
        d = self.driver
        for field, value in [("table-n", ",".join(map(str, ns))),
                             ("table-sigma", ",".join(map(str, sigmas)))]:
            box = d.find_element(By.ID, field)
            box.clear()
            box.send_keys(value)
        d.find_element(By.ID, "table-start").click()
        self.assertEqual(self.wait_state("table-state", ["done"]), "done")
        self.assertEqual(d.find_element(By.ID, "table-progress").get_attribute("value"), "100")
        self.shot("table")

        done = run([ARGS.lvlim_table, "--kind=upper", "--alpha=0.95",
                    "--nu=" + ",".join(str(n - 1) for n in ns),
                    "--sigma=" + ",".join(map(str, sigmas)), "--format=csv"])
        lines = done.stdout.splitlines()
        header = lines[0].split(",")
        expected = {}
        for line in lines[1:]:
            row = dict(zip(header, line.split(",")))
            expected[(float(row["sigma"]), float(row["nu"]) + 1)] = (float(row["k"]), row["status"])
        # lvlim-table exits 3 when a cell is marked "search failed", 0 when none is.
        failed = sum(status != "ok" for _, status in expected.values())
        self.assertEqual(done.returncode, 3 if failed else 0, done.stderr)
        self.assertEqual(len(expected), 100)
        cells = d.find_elements(By.CSS_SELECTOR, "#table-out td")
        self.assertEqual(len(cells), 100)
        for td in cells:
            key = (float(td.get_attribute("data-sigma")), float(td.get_attribute("data-n")))
            k = td.find_element(By.CSS_SELECTOR, '[data-field="k_upper"]').get_attribute("data-value")
            # lvlim-table prints 9 significant digits of the same double, and the same status.
            self.assertEqual(nine_digits(float(k)), expected[key][0], f"cell {key}")
            self.assertEqual(td.get_attribute("data-status"), expected[key][1], f"cell {key}")

        # Ranges give the very axes of lvlim-table: evenly spaced decimals are those decimals
        # (0.8, not 0.7999999999999999), a log range's inner values are the program's doubles.
        self.table_inputs("3 : 30 : 4 : log", "0.1:3:30", "upper")
        d.find_element(By.ID, "table-start").click()
        self.assertEqual(self.wait_state("table-state", ["done"]), "done")
        done = run([ARGS.lvlim_table, "--kind=upper", "--alpha=0.95", "--n=3:30:4:log",
                    "--sigma=0.1:3:30", "--format=csv"])
        self.assertIn(done.returncode, (0, 3), done.stderr)
        rows = [dict(zip(done.stdout.splitlines()[0].split(","), line.split(",")))
                for line in done.stdout.splitlines()[1:]]
        expected = sorted((float(r["sigma"]), float(r["gammasquared"])) for r in rows)
        cells = d.find_elements(By.CSS_SELECTOR, "#table-out td")
        shown = sorted((float(td.get_attribute("data-sigma")), float(td.get_attribute("data-n")))
                       for td in cells)
        self.assertEqual(len(expected), 120)
        self.assertEqual(shown, expected)
        # More than the page's 1000 values on an axis is named as such.
        self.table_inputs("3:1000:1001", "1", "upper")
        d.find_element(By.ID, "table-start").click()
        self.assertEqual(self.wait_state("table-state", ["error"]), "error")
        self.assertIn("at most 1000 per axis", d.find_element(By.ID, "table-n-error").text)

        # A large two-sided table stops when asked, keeping the cells it has. A thousand cells,
        # so that no machine finishes them between the first batch and the click.
        self.table_inputs("3:1001:100:log", "0.1:3:10", "two-sided")
        d.find_element(By.ID, "table-start").click()
        WebDriverWait(d, WAIT_SECONDS, poll_frequency=0.01).until(
            lambda _: int(d.find_element(By.ID, "table-progress").get_attribute("value")) > 0)
        d.find_element(By.ID, "table-stop").click()
        self.assertEqual(self.wait_state("table-state", ["stopped"]), "stopped")
        done_cells = int(d.find_element(By.ID, "table-progress").get_attribute("value"))
        self.assertLess(done_cells, 1000)
        filled = d.find_elements(By.CSS_SELECTOR, '#table-out [data-field="k_lower"]')
        self.assertEqual(len(filled), done_cells)


    # ---- the faults of a first use --------------------------------------------------------

    def test_a_table_column_is_chosen_never_guessed(self):
        d = self.driver
        exposures = ("sample_id,date,worker,task,twa_mg_m3,duration_min\n"
                     "S1,2024-01-02,A,weld,0.12,480\nS2,2024-01-03,B,grind,0.3,420\n"
                     "S3,2024-01-04,A,weld,0.08,455\nS4,2024-01-05,C,cut,0.21,300\n")
        self.open("?kind=upper&confidence=0.95")
        self.open_file("exposures.csv", exposures)
        self.assertEqual(self.wait_state("state", ["done", "error"]), "error")
        self.assertEqual(d.find_element(By.ID, "column-error").text,
                         "choose the column of the measurements: column 5 (twa_mg_m3), "
                         "column 6 (duration_min) hold numbers")
        self.assertEqual(self.fields(), {})
        self.choose_column("5")
        self.assertEqual(self.wait_state("state", ["done", "error"]), "done")
        self.assertEqual(d.find_element(By.ID, "read-from").text,
                         "Measurements read from column 5 (twa_mg_m3).")
        program = self.data_program(["--format=json", "--upper", "--column=twa_mg_m3"],
                                    exposures, "exposures.csv")
        row = json.loads(program.stdout)["results"][0]
        self.assertEqual(float(self.fields()["mean_upper"]), row["mean_upper"])
        self.assertEqual(int(self.fields()["n"]), 4)

        # A spreadsheet's copy: a placeholder among the concentrations lets no other column be
        # read in their place; a row of totals under them is refused, never read as a value.
        self.open("?kind=upper&confidence=0.95")
        self.paste("Sample\tConc\tDuration\nS1\t0.12\t480\nS2\t-\t420\nS3\t0.08\t455\nS4\t0.31\t470\n")
        WebDriverWait(d, WAIT_SECONDS).until(lambda _: d.find_element(By.ID, "column-error").text)
        self.assertIn("column 2 (Conc), numbers and text ('-' on line 3)", d.find_element(By.ID, "column-error").text)
        self.paste("Sample\tConc\t\nS1\t0.12\t\nS2\t0.31\t\nS3\t0.08\t\nS4\t0.22\t\nTotal\t0.73\t\n")
        WebDriverWait(d, WAIT_SECONDS).until(lambda _: d.find_element(By.ID, "data-error").text)
        self.assertIn("line 6: 'Total' labels a row of totals", d.find_element(By.ID, "data-error").text)
        self.assertEqual(self.fields(), {})

        # Decimal commas in the last column are named at once, whatever column is chosen.
        self.open("?kind=upper&confidence=0.95")
        self.open_file("commas.csv", "id;date;conc\n1;2024-01-02;0,12\n2;2024-01-03;0,3\n"
                                     "3;2024-01-04;0,08\n4;2024-01-05;0,2\n")
        self.assertEqual(self.wait_state("state", ["done", "error"]), "error")
        self.assertIn("commas.csv, line 2, column 3 (conc): '0,12' has a decimal comma",
                      d.find_element(By.ID, "data-error").text)
        self.choose_column("1")
        self.assertEqual(self.wait_state("state", ["done", "error"]), "error")
        self.assertIn("decimal comma", d.find_element(By.ID, "data-error").text)
        self.assertEqual(self.fields(), {})

    def copied_site(self, change):
        """A copy of the built page changed by `change(folder)`, served on its own port."""
        folder = tempfile.mkdtemp(dir=ARGS.screenshots)
        site = os.path.join(folder, "site")
        shutil.copytree(ARGS.site, site)
        change(site)
        server = start_server(site)
        self.addCleanup(server.shutdown)
        return site, f"http://127.0.0.1:{server.server_address[1]}/index.html"

    def test_changes_during_a_long_computation_queue_no_stale_ones(self):
        # A Worker that takes 2 s for each computation, as a large sample does on a slow machine.
        def slow(site):
            path = os.path.join(site, "worker.js")
            with open(path, encoding="utf-8") as f:
                text = f.read()
            with open(path, "w", encoding="utf-8") as f:
                f.write(text.replace("const m = await engine;", "const m = await engine;\n"
                                     "if (job.type === 'data') { const t = Date.now() + 2000; while (Date.now() < t); }"))
        _, base = self.copied_site(slow)
        self.driver.get(base + "?kind=upper&data=1.2,3.4,2.2,5.1")
        self.assertEqual(self.wait_state("state", ["done", "error"]), "done")
        # Five changes, each after the page's pause for typing, all within one computation:
        # only the newest is computed after it, not a queue of stale ones before it.
        sent = self.driver.execute_async_script("""
            const done = arguments[arguments.length - 1];
            let sent = 0;
            const post = Worker.prototype.postMessage;
            Worker.prototype.postMessage = function (job) { if (job.type === 'data') ++sent; return post.call(this, job); };
            const limit = document.getElementById('limit');
            ['2', '20', '20.', '20.5', '20.52'].forEach((text, i) => setTimeout(() => {
              limit.value = text;
              limit.dispatchEvent(new Event('input'));
            }, 350 * i));
            const wait = () => {
              const shown = document.querySelector('#results [data-field="limit"]');
              if (shown && shown.dataset.value === '20.52') { done(sent); return; }
              setTimeout(wait, 50);
            };
            wait();
        """)
        self.assertEqual(sent, 2)

    def test_engine_failures_stay_on_screen(self):
        d = self.driver
        site, base = self.copied_site(lambda s: os.remove(os.path.join(s, "lvlim_web.js")))
        d.get(base)
        self.paste("1 2 3 4")
        self.assertEqual(self.wait_state("state", ["done", "error"]), "error")
        message = d.find_element(By.ID, "state").text
        self.assertIn("The engine could not start", message)
        # More input leaves it there, never a 'Computing' that does not end.
        self.paste("1 2 3 4 5")
        time.sleep(1)
        self.assertEqual(d.find_element(By.ID, "state").get_attribute("data-state"), "error")
        self.assertEqual(d.find_element(By.ID, "state").text, message)
        d.find_element(By.ID, "tab-table").click()
        d.find_element(By.ID, "table-start").click()
        self.assertEqual(self.wait_state("table-state", ["error"]), "error")
        self.assertIn("The engine could not start", d.find_element(By.ID, "table-state").text)
        self.assertFalse(d.find_element(By.ID, "table-stop").is_enabled())
        self.assertTrue(d.find_element(By.ID, "table-start").is_enabled())
        # Opened from the folder: the same, in words of its own.
        d.get("file://" + os.path.join(site, "index.html") + "?data=1,2,3")
        self.assertEqual(self.wait_state("state", ["done", "error"]), "error")
        self.assertIn("The engine could not be loaded", d.find_element(By.ID, "state").text)
        self.driver.get_log("browser")  # the missing file is the point of this case

        # A Worker that never answers is stopped after the timeout (shortened for the test).
        def silent(s):
            with open(os.path.join(s, "worker.js"), "w", encoding="utf-8") as f:
                f.write("onmessage = () => {};\n")
        _, base = self.copied_site(silent)
        script = d.execute_cdp_cmd("Page.addScriptToEvaluateOnNewDocument",
                                   {"source": "window.lvlimAnswerTimeoutMs = 1500;"})
        try:
            d.get(base)
            self.paste("1 2 3 4")
            self.assertEqual(self.wait_state("state", ["busy"]), "busy")
            self.assertEqual(self.wait_state("state", ["done", "error"]), "error")
            self.assertIn("did not answer within 1.5 s", d.find_element(By.ID, "state").text)
        finally:
            d.execute_cdp_cmd("Page.removeScriptToEvaluateOnNewDocument",
                              {"identifier": script["identifier"]})

    def table_inputs(self, n, sigma, kind):
        d = self.driver
        for field, value in [("table-n", n), ("table-sigma", sigma)]:
            box = d.find_element(By.ID, field)
            box.clear()
            box.send_keys(value)
        Select(d.find_element(By.ID, "table-kind")).select_by_value(kind)

    def watch_long_tasks(self):
        """The page's tasks from now on: window.longest is the longest (browser long-task timing)."""
        self.driver.execute_script("""
            window.longest = 0;
            const since = performance.now();
            new PerformanceObserver((list) => {
              for (const e of list.getEntries()) {
                if (e.startTime >= since) window.longest = Math.max(window.longest, e.duration);
              }
            }).observe({type: 'longtask'});""")

    def test_large_tables_never_block_the_page(self):
        d = self.driver
        self.open("?tab=table")
        for n, sigma in [("3:100001:1000:log", "0.001:10:1000:log"), ("3:1000:300", "0.1:3:300")]:
            with self.subTest(n=n, sigma=sigma):
                self.table_inputs(n, sigma, "upper")
                # The click's own handler (the page's whole work) and the time to the refusal.
                took = d.execute_async_script("""
                    const done = arguments[arguments.length - 1];
                    const t0 = performance.now();
                    document.getElementById('table-start').click();
                    const handler = performance.now() - t0;
                    const state = document.getElementById('table-state');
                    const wait = () => state.dataset.state === 'refused'
                      ? done({handler, refused: performance.now() - t0}) : setTimeout(wait, 5);
                    wait();""")
                self.assertLess(took["refused"], 500)
                self.assertLess(took["handler"], 100)
                command = d.find_element(By.ID, "table-command").text
                self.assertIn(f"--n={n} --sigma={sigma}", command)
                # The command is one lvlim-table takes: it starts on the table, not a usage error.
                args = command.split()[1:]
                try:
                    done = subprocess.run([ARGS.lvlim_table] + args, capture_output=True, text=True,
                                          timeout=3, check=False)
                    self.assertNotEqual(done.returncode, 2, done.stderr)
                except subprocess.TimeoutExpired:
                    pass
        # A table that runs: the page answers input throughout, and Stop acts at once. The
        # longest task is taken over two runs when the first has one over 100 ms: a machine
        # whose cores are busy elsewhere can stretch a single task, a page that blocks does so
        # in both.
        longest = self.run_and_stop_a_table()
        if longest >= 100:
            longest = min(longest, self.run_and_stop_a_table())
        self.assertLess(longest, 100)
        # The headers are rounded to 6 digits, the full value kept beside them.
        heads = d.find_elements(By.CSS_SELECTOR, "#table-out th[data-value]")
        self.assertGreater(len(heads), 60)
        for head in heads:
            self.assertEqual(head.text, f"{float(head.get_attribute('data-value')):.6g}")
        self.assertTrue(any(len(h.get_attribute("data-value")) > 8 for h in heads))

    def run_and_stop_a_table(self):
        """Starts a two-sided 60 x 60 table, types while it runs, stops it; the longest task."""
        d = self.driver
        self.table_inputs("3:1001:60:log", "0.1:10:60:log", "two-sided")
        self.watch_long_tasks()
        d.find_element(By.ID, "table-start").click()
        WebDriverWait(d, WAIT_SECONDS, poll_frequency=0.01).until(
            lambda _: int(d.find_element(By.ID, "table-progress").get_attribute("value")) > 0)
        # Typing into a field while the table runs: every key is handled, none waits long (the
        # bound is loose, as the Worker and the machine's other work share its cores; the
        # page's own tasks are bounded by the long-task timing).
        lag = d.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const box = document.getElementById('table-confidence');
            let worst = 0, count = 0;
            const probe = () => {
              const sent = performance.now();
              setTimeout(() => {
                worst = Math.max(worst, performance.now() - sent);
                box.dispatchEvent(new Event('input'));
                if (++count < 20) probe(); else done(worst);
              }, 25);
            };
            probe();""")
        self.assertLess(lag, 400)
        stopped = d.execute_async_script("""
            const done = arguments[arguments.length - 1];
            const progress = document.getElementById('table-progress');
            const before = progress.value;
            const t0 = performance.now();
            document.getElementById('table-stop').click();
            const state = document.getElementById('table-state');
            const wait = () => {
              // A table refused by its projection (a slow machine) has stopped already.
              if (state.dataset.state === 'stopped' || state.dataset.state === 'refused') {
                const at = performance.now() - t0;
                const cells = progress.value;
                setTimeout(() => done({at, cells, later: progress.value, before}), 1000);
              } else setTimeout(wait, 5);
            };
            wait();""")
        self.assertLess(stopped["at"], 500)
        # Nothing arrives after Stop, and the table was far from done.
        self.assertEqual(stopped["cells"], stopped["later"])
        self.assertLess(stopped["cells"], 3600)
        return d.execute_script("return window.longest")

    def test_a_link_reproduces_the_state_or_says_it_cannot(self):
        d = self.driver
        table = "id,conc,flow\n1,1.25,3\n2,3.5,4\n3,0.75,5\n4,2.0,6\n"
        self.open("?kind=upper&confidence=0.9")
        self.open_file("t.csv", table)
        self.assertEqual(self.wait_state("state", ["done", "error"]), "error")
        # Until a column is chosen, the link holds no data, and says so when reloaded.
        self.assertIn("omitted=table", d.current_url)
        self.assertNotIn("data=", d.current_url)
        d.get(d.current_url)
        self.assertEqual(self.wait_state("state", ["idle", "error", "done"]), "idle")
        self.assertIn("This link was made without its measurements", d.find_element(By.ID, "state").text)
        self.open("?kind=upper&confidence=0.9")
        self.open_file("t.csv", table)
        self.assertEqual(self.wait_state("state", ["done", "error"]), "error")
        self.choose_column("2")
        self.assertEqual(self.wait_state("state", ["done", "error"]), "done")
        before = self.fields()
        self.assertIn("data=1.25,3.5,0.75,2", d.current_url)
        d.get(d.current_url)
        self.assertEqual(self.wait_state("state", ["done", "error"]), "done")
        self.assertEqual(self.fields(), before)
        # More values than a link holds: said on copying and on reloading.
        self.paste(" ".join(["1.5", "2.5"] * 1001))
        WebDriverWait(d, WAIT_SECONDS).until(lambda _: d.execute_script(
            "const e = document.querySelector('#results [data-field=\"n\"]');"
            "return e && e.dataset.value") == "2002")
        d.find_element(By.ID, "copy-link").click()
        self.assertIn("The link holds no measurements: it cannot hold more than 2000",
                      d.find_element(By.ID, "state").text)
        d.get(d.current_url)
        self.assertEqual(self.wait_state("state", ["idle", "error", "done"]), "idle")
        self.assertIn("more than 2000 measurements", d.find_element(By.ID, "state").text)
        # A kind or statistic that names no choice is refused under its field, never replaced
        # by the default unsaid; choosing one computes.
        for query, field, message in [
                ("?kind=twosided&data=1,2,3,5", "kind-error", "kind 'twosided' is not one of"),
                ("?tab=plan&statistic=means", "statistic-error", "statistic 'means' is neither")]:
            with self.subTest(query=query):
                state = "plan-state" if "plan" in query else "state"
                self.open(query)
                self.assertEqual(self.wait_state(state, ["done", "error"]), "error")
                self.assertIn(message, d.find_element(By.ID, field).text)
                if "plan" in query:
                    Select(d.find_element(By.ID, "plan-statistic")).select_by_value("mean")
                else:
                    d.find_element(By.CSS_SELECTOR, "input[name='kind'][value='upper']").click()
                self.assertEqual(self.wait_state(state, ["done"]), "done")
                self.assertEqual(d.find_element(By.ID, field).text, "")

    def test_plot_axes_have_distinct_ticks_and_lines_stay_in_the_frame(self):
        d = self.driver
        # A narrow range: 1% around 426.
        rng = random.Random(3)
        values = " ".join(f"{426 * math.exp(rng.gauss(0, 0.003)):.5f}" for _ in range(40))
        for width in [1280, 390]:
            with self.subTest(width=width):
                self.viewport(width, 844)
                try:
                    self.open("?kind=two-sided&confidence=0.95")
                    self.paste(values)
                    self.assertEqual(self.wait_state("state", ["done", "error"]), "done")
                    for plot, kinds in [("strip-plot", ["text.tick"]),
                                        ("qq-plot", ["text.tick.x", "text.tick.y"])]:
                        for selector in kinds:
                            labels = [e.text for e in d.find_elements(By.CSS_SELECTOR, f"#{plot} {selector}")]
                            self.assertGreaterEqual(len(labels), 2, (plot, selector, labels))
                            self.assertEqual(len(set(labels)), len(labels), (plot, labels))
                            for label in labels:
                                float(label)
                    frame = d.find_element(By.CSS_SELECTOR, "#qq-plot rect.frame")
                    x0, y0 = float(frame.get_attribute("x")), float(frame.get_attribute("y"))
                    x1 = x0 + float(frame.get_attribute("width"))
                    y1 = y0 + float(frame.get_attribute("height"))
                    line = d.find_element(By.CSS_SELECTOR, "#qq-plot line.reference")
                    for x, y in [("x1", "y1"), ("x2", "y2")]:
                        self.assertTrue(x0 - 0.05 <= float(line.get_attribute(x)) <= x1 + 0.05)
                        self.assertTrue(y0 - 0.05 <= float(line.get_attribute(y)) <= y1 + 0.05)
                    # Plot text is at least 12 px as shown.
                    sizes = d.execute_script("""
                        return [...document.querySelectorAll('.plot svg')].map((svg) =>
                          svg.getBoundingClientRect().width / svg.viewBox.baseVal.width *
                          parseFloat(svg.getAttribute('font-size')));""")
                    self.assertGreaterEqual(min(sizes), 12)
                finally:
                    self.viewport(1280, 1100)
        # At the ends of the doubles the axes' own ends overflow or underflow: the pictures are
        # drawn all the same, with a few numbered ticks, and the results stay.
        for values in ["1e308 1.5e308 1e307 5e307", "1e-300 1e-300 1e-299 1e-299 1e-307"]:
            with self.subTest(values=values):
                self.open("?kind=two-sided&confidence=0.95&limit=20")
                self.paste(values)
                self.assertEqual(self.wait_state("state", ["done", "error"]), "done")
                labels = [float(e.text) for e in d.find_elements(By.CSS_SELECTOR, "#strip-plot text.tick")]
                self.assertTrue(2 <= len(labels) <= 12, labels)
                self.assertTrue(all(0 < t < math.inf for t in labels), labels)

    def test_lookalike_characters_and_decimal_commas_are_named(self):
        d = self.driver
        cases = [
            ("?kind=upper&confidence=0,95&data=1,2,3", "confidence-error",
             "'0,95' has a decimal comma, which is not read: write 0.95"),
            ("?kind=upper&confidence=0.95&n=21&log_mean=%E2%88%920.5&log_sd=1", "log_mean-error",
             "log_mean '\u22120.5' holds a Unicode minus sign (U+2212), which is not read: write -0.5"),
        ]
        for query, field, message in cases:
            with self.subTest(query=query):
                self.open(query)
                self.assertEqual(self.wait_state("state", ["done", "error"]), "error")
                self.assertIn(message, d.find_element(By.ID, field).text)
        for text, message in [("1.2\u00a03.4\u00a05.6\n", "holds a non-breaking space (U+00A0)"),
                              ("1.2 3.4\n\u22125.6\n", "holds a Unicode minus sign (U+2212) in '\u22125.6'")]:
            with self.subTest(text=text):
                self.open("?kind=upper")
                self.paste(text)
                self.assertEqual(self.wait_state("state", ["done", "error"]), "error")
                self.assertIn(message, d.find_element(By.ID, "data-error").text)

    def test_example_button_and_the_first_screen(self):
        d = self.driver
        with open(ARGS.example, encoding="utf-8") as f:
            example = f.read()
        self.viewport(1280, 800)
        try:
            self.open("?limit=20")
            self.assertEqual(d.execute_script(
                "return document.getElementById('example-data').textContent.replace(/^\\n/, '')"), example)
            d.find_element(By.ID, "example").click()
            self.assertEqual(self.wait_state("state", ["done", "error"]), "done")
            # The default kind is the one-sided upper limit.
            expected = self.expected_from_data_program("upper", 0.95)
            self.assertEqual(float(self.fields()["mean_upper"]), expected["mean_upper"])
            # Both verdicts are on the first screen, without scrolling.
            bottom = d.execute_script("return document.querySelector("
                                      "'[data-field=\"percentile_verdict\"]').getBoundingClientRect().bottom")
            self.assertLessEqual(bottom, 800)
            self.assertEqual(self.fields()["mean_verdict"], "below")
            # The summary tab says why it has no pictures.
            d.find_element(By.ID, "tab-summary").click()
            self.assertTrue(d.find_element(By.ID, "pictures-none").is_displayed())
            self.assertFalse(d.find_element(By.ID, "pictures-body").is_displayed())
        finally:
            self.viewport(1280, 1100)

    def test_a_phone_reads_every_text(self):
        d = self.driver
        self.viewport(390, 844)
        try:
            with open(ARGS.example, encoding="utf-8") as f:
                self.open()
                self.paste(f.read())
            self.assertEqual(self.wait_state("state", ["done", "error"]), "done")
            d.find_element(By.ID, "tab-table").click()
            self.table_inputs("3,10,100", "0.1:1:7:log", "upper")
            d.find_element(By.ID, "table-start").click()
            self.assertEqual(self.wait_state("table-state", ["done"]), "done")
            small = d.execute_script("""
                const out = [];
                for (const e of document.querySelectorAll('body *')) {
                  if (!e.getClientRects().length || e.closest('svg')) continue;
                  const own = [...e.childNodes].some((n) => n.nodeType === 3 && n.textContent.trim());
                  if (own && parseFloat(getComputedStyle(e).fontSize) < 12) out.push(e.tagName + ' ' + e.textContent);
                }
                return out;""")
            self.assertEqual(small, [])
            # Long names and quoted values in a message wrap: nothing reaches past the screen.
            d.find_element(By.ID, "tab-data").click()
            self.paste("Sample_identifier_from_the_laboratory_information_system\t"
                       "Concentration_of_respirable_crystalline_silica_mg_per_m3\tDuration\n"
                       "S1\t0.12\t480\nS2\t-\t420\nS3\t0.08\t455\n")
            WebDriverWait(d, WAIT_SECONDS).until(lambda _: d.find_element(By.ID, "column-error").text)
            self.assertLessEqual(d.execute_script("return document.documentElement.scrollWidth"), 390)
            d.find_element(By.ID, "tab-table").click()
            caption = d.find_element(By.ID, "table-caption").rect
            self.assertLessEqual(caption["x"] + caption["width"], 390)
            for head in d.find_elements(By.CSS_SELECTOR, "#table-out th[scope='row']"):
                self.assertLessEqual(len(head.text.replace(".", "").lstrip("0")), 6, head.text)
        finally:
            self.viewport(1280, 1100)


    # ---- the assessment and the plan, field by field ---------------------------------------

    def test_assessment_equals_the_data_program_field_by_field(self):
        d = self.driver
        with open(ARGS.example, encoding="utf-8") as f:
            text = f.read()
        # The shipped measurements pasted, and the shipped table of exposures opened as a file
        # (one column of numbers under its header: read without a choice, as --column names it).
        exposures = os.path.join(os.path.dirname(os.path.abspath(ARGS.example)), "exposure.csv")
        cases = [("upper", "0.95", "0.95", "20", None), ("two-sided", "0.9", "0.99", "60", None),
                 ("lower", "0.95", "0.9", "5", None), ("upper", "0.95", "0.95", "", None),
                 ("upper", "0.95", "0.95", "50", exposures), ("two-sided", "0.9", "0.9", "30", exposures)]
        for kind, confidence, percentile, limit, path in cases:
            with self.subTest(kind=kind, limit=limit, path=path):
                self.open(f"?kind={kind}&confidence={confidence}&percentile={percentile}"
                          + (f"&limit={limit}" if limit else ""))
                if path:
                    d.find_element(By.ID, "file").send_keys(path)
                else:
                    self.paste(text)
                self.assertEqual(self.wait_state("state", ["done", "error"]), "done")
                got = self.fields()
                arguments = ["--format=json", f"--{kind}", f"--confidence={confidence}",
                             f"--percentile={percentile}"] + ([f"--limit={limit}"] if limit else [])
                if path:
                    program = run([ARGS.lvlim_data, "--column=twa_mg_m3"] + arguments + [path])
                    self.assertEqual(d.find_element(By.ID, "read-from").text,
                                     "Measurements read from column 4 (twa_mg_m3).")
                else:
                    program = self.data_program(arguments)
                self.assertEqual(program.returncode, 0, program.stderr)
                row = json.loads(program.stdout)["results"][0]
                for name, want in row.items():
                    # The lists of messages and the bound's flag are shown in words; the
                    # downloads carry them (test_a_csv_column_and_the_json_download).
                    if name in ("messages", "nu", "gammasquared", "confidence", "kind",
                                "assessment_messages", "mean_p_value_bounded"):
                        continue
                    if want is None:
                        self.assertIn(got.get(name, ""), ["", "NaN"], name)
                    elif isinstance(want, str):
                        self.assertEqual(got[name], want, name)
                    else:
                        self.assertClose(float(got[name]), want, name)
                verdicts = d.find_element(By.ID, "verdicts").text
                if limit:
                    self.assertIn(f"The mean is {row['mean_verdict']} the limit {float(limit):g}"
                                  if row["mean_verdict"] != "undecided" else "Undecided", verdicts)
                    # The verdicts lead: above the fit and the numbers.
                    self.assertLess(d.find_element(By.ID, "verdicts").location["y"],
                                    d.find_element(By.ID, "fit").location["y"])
                else:
                    self.assertIn("Enter a limit value", verdicts)

    def assertClose(self, got, want, name):
        """Equal but for the last bits: WebAssembly's C library (exp, log, erfc inside the W test
        and the noncentral t) rounds a few results an ulp or two apart from the native one; the
        limits of the mean and most other fields agree to the bit."""
        self.assertLessEqual(abs(got - want), 1e-13 * abs(want), f"{name}: {got!r} against {want!r}")

    def plan_program(self, arguments):
        done = run([ARGS.lvlim_plan, "--format=json"] + arguments)
        self.assertIn(done.returncode, [0, 3], done.stderr)
        return json.loads(done.stdout)

    def test_plan_equals_the_plan_program(self):
        d = self.driver
        for query, arguments in [
                ("gsd=2.5&ratio=0.5&statistic=mean&confidence=0.95&power=0.8",
                 ["--gsd=2.5", "--ratio=0.5", "--statistic=mean", "--confidence=0.95", "--power=0.8"]),
                ("gsd=3&ratio=0.3&statistic=percentile&percentile=0.9&confidence=0.9&power=0.9",
                 ["--gsd=3", "--ratio=0.3", "--statistic=percentile", "--percentile=0.9",
                  "--confidence=0.9", "--power=0.9"]),
                ("gsd=2&ratio=0.5&statistic=mean&confidence=0.95&expected_ratio=1.5",
                 ["--gsd=2", "--statistic=mean", "--confidence=0.95", "--expected-ratio=1.5"])]:
            with self.subTest(query=query):
                self.open("?tab=plan&" + query)
                self.assertEqual(self.wait_state("plan-state", ["done", "error"]), "done")
                want = self.plan_program(arguments)
                shown = {e.get_attribute("data-field"): e.get_attribute("data-value")
                         for e in d.find_elements(By.CSS_SELECTOR, "#plan-result [data-field]")}
                self.assertEqual(int(shown["sample_size"]), want["sample_size"])
                self.assertClose(float(shown["achieved"]), want["achieved"], "achieved")
                # The curve's points are the program's rows; the target is marked.
                circles = d.find_elements(By.CSS_SELECTOR, "#plan-plot circle")
                field = "expected_ratio" if "expected_ratio=" in query else "power"
                self.assertEqual(len(circles), sum(r[field] is not None for r in want["rows"]))
                self.assertEqual(len(d.find_elements(By.CSS_SELECTOR, "#plan-plot line.target")), 1)
                self.assertEqual(len(d.find_elements(By.CSS_SELECTOR, "#plan-plot line.sample-size")), 1)
                labels = [e.text for e in d.find_elements(By.CSS_SELECTOR, "#plan-plot text.tick")]
                self.assertEqual(len(set(labels)), len(labels))
        # The same from the folder itself (file://), where the Worker is made from its source.
        page = "file://" + os.path.abspath(os.path.join(ARGS.site, "index.html"))
        d.get(page + "?tab=plan&" + query)
        self.assertEqual(self.wait_state("plan-state", ["done", "error"]), "done")
        self.assertEqual(d.find_element(By.CSS_SELECTOR, '#plan-result [data-field="sample_size"]')
                         .get_attribute("data-value"), shown["sample_size"])
        # It follows the inputs without a button, and a refused value is named at its field.
        box = d.find_element(By.ID, "plan-gsd")
        box.clear()
        box.send_keys("1")
        self.assertEqual(self.wait_state("plan-state", ["error"]), "error")
        self.assertIn("GSD", d.find_element(By.ID, "gsd-error").text)
        self.assertIn("gsd=1&", d.current_url)

    def test_screenshots_of_each_tab(self):
        d = self.driver
        with open(ARGS.example, encoding="utf-8") as f:
            example = f.read()
        for width, height in [(1280, 800), (390, 844)]:
            self.viewport(width, height)
            try:
                for tab, query in [("measurements", "?kind=upper&confidence=0.95&limit=20&unit=%C2%B5g%2FL"),
                                   ("summary", "?n=21&log_mean=3.1&log_sd=1.2&limit=100&kind=upper"),
                                   ("plan", "?tab=plan&gsd=2.5&ratio=0.5&statistic=mean&confidence=0.95&power=0.8"),
                                   ("table", "?tab=table")]:
                    self.open(query)
                    if tab == "measurements":
                        self.paste(example)
                    if tab == "table":
                        d.find_element(By.ID, "table-start").click()
                        self.wait_state("table-state", ["done"])
                    else:
                        state = "plan-state" if tab == "plan" else "state"
                        self.assertEqual(self.wait_state(state, ["done", "error"]), "done")
                    # Nothing wider than the screen.
                    self.assertLessEqual(d.execute_script("return document.documentElement.scrollWidth"), width)
                    self.shot(f"{tab}-{width}x{height}")
            finally:
                self.viewport(1280, 1100)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for name in ["site", "screenshots", "chromium", "chromedriver", "lvlim", "lvlim-data",
                 "lvlim-table", "lvlim-plan", "example"]:
        parser.add_argument("--" + name, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
