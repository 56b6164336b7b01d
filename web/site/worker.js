// The computations, away from the page's thread: the engine in WebAssembly, and the points the
// pictures need. Every request gets exactly one answer with its id; nothing escapes uncaught.
// The whole of it is one function, so that a page opened from a folder (file://), where
// browsers start no Worker from a file, can build the Worker from its source text.
function lvlimWorker() {
'use strict';

const engine = createLvlim();

// The pictures draw at most this many points: order statistics evenly spread over the sample.
const plotPoints = 2000;

// Normal quantiles for the Q-Q plot (a picture only: no limit depends on them). The standard
// normal distribution function is tabulated once by Simpson's rule on a fine grid and inverted
// by interpolation, which is far finer than a screen's pixels.
const normalTable = (() => {
  const step = 1 / 256;
  const low = -9;
  const count = 18 * 256;
  const density = (z) => Math.exp(-0.5 * z * z) / Math.sqrt(2 * Math.PI);
  const z = new Float64Array(count + 1);
  const p = new Float64Array(count + 1);
  let sum = 0;
  for (let i = 0; i <= count; ++i) {
    z[i] = low + i * step;
    if (i > 0) {
      const a = z[i - 1];
      const b = z[i];
      sum += (step / 6) * (density(a) + 4 * density((a + b) / 2) + density(b));
    }
    p[i] = sum;
  }
  return { z, p };
})();

function normalQuantile(prob) {
  const { z, p } = normalTable;
  let lo = 0;
  let hi = p.length - 1;
  while (hi - lo > 1) {
    const mid = (lo + hi) >> 1;
    if (p[mid] < prob) lo = mid; else hi = mid;
  }
  const share = (prob - p[lo]) / (p[hi] - p[lo]);
  return z[lo] + share * (z[hi] - z[lo]);
}

function plotData(values) {
  const n = values.length;
  if (n === 0) return null;
  const sorted = Float64Array.from(values).sort();
  const take = Math.min(n, plotPoints);
  const points = [];
  for (let j = 0; j < take; ++j) {
    const rank = take === 1 ? 0 : Math.round((j * (n - 1)) / (take - 1));
    const x = sorted[rank];
    points.push({ x, log: Math.log(x), z: normalQuantile((rank + 0.5) / n) });
  }
  return { n, shown: take, points };
}

function fail(job, error) {
  const message = 'unexpected failure: ' + error;
  if (job.type === 'cells') return { from: job.from, sent: job.sent, answers: job.cells.map(() => ({ error: message })) };
  if (job.type === 'plan') return { errors: [{ field: 'target', message }] };
  const field = job.type === 'logs' ? 'n' : 'data';
  return { summary: null, results: [], errors: [{ field, message }] };
}

onmessage = async (event) => {
  const job = event.data;
  let answer;
  try {
    const m = await engine;
    if (job.type === 'data') {
      const outcome = m.fromMeasurements(job.text, job.source, job.column, job.kind, job.confidence, job.percentile, job.limit);
      answer = {
        summary: outcome.summary, results: outcome.results, errors: outcome.errors,
        columns: outcome.columns, column: outcome.column, read_from: outcome.read_from,
        plot: plotData(outcome.values),
        // A link holds at most this many measurements.
        link_values: outcome.values.length > 0 && outcome.values.length <= 2000 ? Array.from(outcome.values) : null,
      };
    } else if (job.type === 'logs') {
      const outcome = m.fromLogs(job.n, job.log_mean, job.log_sd, job.kind, job.confidence, job.percentile, job.limit);
      answer = { summary: outcome.summary, results: outcome.results, errors: outcome.errors, plot: null };
    } else if (job.type === 'plan') {
      answer = m.plan(job.gsd, job.ratio, job.statistic, job.percentile, job.confidence, job.goal, job.target);
    } else if (job.type === 'cells') {
      answer = { from: job.from, sent: job.sent,
        answers: job.cells.map((c) => m.tableCell(c.n, c.sigma, job.kind, job.confidence)) };
    } else {
      answer = fail(job, 'unknown request ' + job.type);
    }
  } catch (error) {
    answer = fail(job, error);
  }
  postMessage({ id: job.id, answer });
};
}

// Started as a Worker from this file (over HTTP): load the engine and run.
if (typeof importScripts === 'function' && typeof window === 'undefined') {
  importScripts('lvlim_web.js');
  lvlimWorker();
}
