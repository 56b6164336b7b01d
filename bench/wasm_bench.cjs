// Per-limit time of the WebAssembly build in Node, through the page's tableCell (the public API:
// range checks, confirmation of each limit, captured messages), for the same settings as the
// native BM_api_limits benchmarks of engine_bench.cpp:
//   node bench/wasm_bench.cjs build/wasm/site
// Each case is timed over enough calls to take about half a second; the medians of five
// repetitions of the wall time and of the process's CPU time per call are printed (the CPU time
// is the figure to compare with Google Benchmark's CPU column on a busy machine), with the status
// of the case ("search_failed" is still a timed computation: the searches ran to their end).
'use strict';
const path = require('path');

const site = path.resolve(process.argv[2] || 'build/wasm/site');
const createLvlim = require(path.join(site, 'lvlim_web.js'));

// n measurements (nu = n - 1, gammasquared = n), log standard deviation sigma.
const cases = [
  ['onetail/lognormal_upper', 21, 1.2, 'upper'],
  ['onetail/lognormal_lower', 21, 1.2, 'lower'],
  ['onetail/worst_upper', 1001, 10, 'upper'],
  ['onetail/worst_lower', 1001, 10, 'lower'],
  ['twotail/lognormal', 21, 1.2, 'two-sided'],
  ['twotail/worst', 1001, 10, 'two-sided'],
];

createLvlim().then((m) => {
  for (const [name, n, sigma, kind] of cases) {
    const once = () => m.tableCell(n, sigma, kind, 0.95);
    const first = once();
    if (first.error !== undefined) throw new Error(`${name}: refused: ${first.error}`);
    const status = first.status;
    let calls = 1;
    for (;;) {
      const start = process.hrtime.bigint();
      for (let i = 0; i < calls; ++i) once();
      const seconds = Number(process.hrtime.bigint() - start) / 1e9;
      if (seconds > 0.1) { calls = Math.ceil(calls * 0.5 / seconds); break; }
      calls *= 2;
    }
    const wall = [];
    const cpu = [];
    for (let r = 0; r < 5; ++r) {
      const start = process.hrtime.bigint();
      const used = process.cpuUsage();
      for (let i = 0; i < calls; ++i) once();
      const spent = process.cpuUsage(used);
      wall.push(Number(process.hrtime.bigint() - start) / 1e3 / calls);
      cpu.push((spent.user + spent.system) / calls);
    }
    const median = (v) => v.sort((a, b) => a - b)[2].toFixed(1).padStart(9);
    console.log(`${name.padEnd(26)} wall ${median(wall)} us  cpu ${median(cpu)} us per call (${calls} calls)  ${status}`);
  }
});
