// The computations, away from the page's thread: the engine in WebAssembly, and the points the
// pictures need. Every request gets exactly one answer with its id; nothing escapes uncaught.
// The whole of it is one function, so that a page opened from a folder (file://), where
// browsers start no Worker from a file, can build the Worker from its source text.
function lvlimWorker() {
'use strict';

const engine = createLvlim();

// The pictures draw at most this many points: order statistics evenly spread over the sample.
const plotPoints = 2000;

// The points of the pictures: each shown value with its log and its normal score (from the
// engine) for the Q-Q plot.
function plotData(m, values) {
  const n = values.length;
  if (n === 0) return null;
  const sorted = Float64Array.from(values).sort();
  const take = Math.min(n, plotPoints);
  const points = [];
  for (let j = 0; j < take; ++j) {
    const rank = take === 1 ? 0 : Math.round((j * (n - 1)) / (take - 1));
    const x = sorted[rank];
    points.push({ x, log: Math.log(x), z: m.normalScore(rank, n) });
  }
  return { n, shown: take, points };
}

function fail(job, error) {
  const message = 'unexpected failure: ' + error;
  if (job.type === 'cells') return { from: job.from, sent: job.sent, answers: job.cells.map(() => ({ error: message })) };
  if (job.type === 'plan') return { errors: [{ field: 'target', message }] };
  if (job.type === 'axes') return { axes: true, error: message };
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
        plot: plotData(m, outcome.values),
        // A link holds at most this many measurements.
        link_values: outcome.values.length > 0 && outcome.values.length <= 2000 ? Array.from(outcome.values) : null,
      };
    } else if (job.type === 'logs') {
      const outcome = m.fromLogs(job.n, job.log_mean, job.log_sd, job.kind, job.confidence, job.percentile, job.limit);
      answer = { summary: outcome.summary, results: outcome.results, errors: outcome.errors, plot: null };
    } else if (job.type === 'plan') {
      answer = m.plan(job.gsd, job.ratio, job.statistic, job.percentile, job.confidence, job.goal, job.target);
    } else if (job.type === 'axes') {
      // A table's axes, read as lvlim-table reads --n and --sigma: null where malformed.
      answer = { axes: true, n: m.parseValues(job.n), sigma: m.parseValues(job.sigma) };
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
