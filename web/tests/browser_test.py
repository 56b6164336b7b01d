"""The page in headless Chromium: its results against the programs, its errors, its Worker.

Run by ctest (Browser.Page) after the WebAssembly build; serves the built folder from a local
static server on a free port and drives Debian's chromium through chromedriver.
"""
import argparse
import json
import math
import os
import random
import subprocess
import sys
import tempfile
import unittest

from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

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
        for e in self.driver.find_elements(By.CSS_SELECTOR, "#result-body [data-field]"):
            out.setdefault(e.get_attribute("data-field"), e.get_attribute("data-value"))
        return out

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
        self.assertEqual(self.wait_state("state", ["done", "error"]), "done")
        # The measurements column is picked, the identifiers and the quoted names left alone.
        self.assertEqual(d.find_element(By.ID, "column").get_attribute("value"), "3")
        self.assertEqual(self.fields()["n"], "4")
        self.assertEqual(self.fields()["sample_mean"], str((1.2 + 3.4 + 5.6 + 2.2) / 4))

        d.find_element(By.ID, "download-json").click()
        path = os.path.join(folder, "lvlim-results.json")
        WebDriverWait(d, WAIT_SECONDS).until(lambda _: os.path.exists(path))
        with open(path, encoding="utf-8") as f:
            rows = json.load(f)["results"]
        self.assertEqual([r["confidence"] for r in rows], [0.9, 0.95])
        self.assertEqual(list(rows[0]), ["n", "log_mean", "log_sd", "nu", "gammasquared",
                                         "confidence", "kind", "mvue", "sample_mean", "plug_in",
                                         "k_lower", "k_upper", "log_lower", "log_upper",
                                         "mean_lower", "mean_upper", "status", "messages"])
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
        self.assertEqual(self.driver.find_element(By.ID, "tab-table").get_attribute("aria-selected"), "true")
        self.assertEqual(self.driver.switch_to.active_element.get_attribute("id"), "tab-table")

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
              const o = m.fromMeasurements('1 2 ' + item + '\\n', 'data', '', 'upper', '0.95');
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

        # A large two-sided table stops when asked, keeping the cells it has.
        box = d.find_element(By.ID, "table-n")
        box.clear()
        box.send_keys("3:1001:100:log")
        d.find_element(By.ID, "table-kind").send_keys("two-sided")
        d.find_element(By.ID, "table-start").click()
        WebDriverWait(d, WAIT_SECONDS, poll_frequency=0.01).until(
            lambda _: int(d.find_element(By.ID, "table-progress").get_attribute("value")) > 0)
        d.find_element(By.ID, "table-stop").click()
        self.assertEqual(self.wait_state("table-state", ["stopped"]), "stopped")
        done_cells = int(d.find_element(By.ID, "table-progress").get_attribute("value"))
        self.assertLess(done_cells, 1000)
        filled = d.find_elements(By.CSS_SELECTOR, '#table-out [data-field="k_lower"]')
        self.assertEqual(len(filled), done_cells)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    for name in ["site", "screenshots", "chromium", "chromedriver", "lvlim", "lvlim-data",
                 "lvlim-table", "example"]:
        parser.add_argument("--" + name, required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
