// The page: reads the fields, asks the Worker, shows the answers; keeps its state in the URL.
'use strict';

(() => {
  const $ = (id) => document.getElementById(id);
  const debounceMs = 250;
  // Links carry the measurements themselves only up to this many values.
  const maxLinkValues = 2000;
  // lvlim-data's fields of a result row, in its order.
  const rowFields = ['n', 'log_mean', 'log_sd', 'nu', 'gammasquared', 'confidence', 'kind', 'mvue',
    'sample_mean', 'plug_in', 'k_lower', 'k_upper', 'log_lower', 'log_upper', 'mean_lower',
    'mean_upper', 'status', 'messages', 'gm', 'gsd', 'shapiro_wilk_w', 'shapiro_wilk_p',
    'percentile', 'percentile_estimate', 'percentile_lower', 'percentile_upper', 'limit',
    'exceedance', 'exceedance_lower', 'exceedance_upper', 'mean_p_value', 'percentile_p_value',
    'mean_verdict', 'percentile_verdict', 'assessment_status', 'assessment_messages',
    'mean_p_value_bounded'];

  const show6 = (x) => (x === null || x === undefined ? '—' : Number(x).toPrecision(6));
  // A table's header: 6 significant digits without trailing zeros (0.16681, 3).
  const rounded = (x) => String(Number(Number(x).toPrecision(6)));
  const full = (x) => (x === null || x === undefined ? '' : String(x));
  const percent = (c) => `${Number((c * 100).toPrecision(12))}%`;
  let currentTab = 'data';

  function showFailure(text) {
    const state = currentTab === 'table' ? $('table-state') : currentTab === 'plan' ? $('plan-state') : $('state');
    state.dataset.state = 'error';
    state.textContent = text;
    if (currentTab === 'table') { $('table-stop').disabled = true; $('table-start').disabled = false; }
  }
  // Nothing escapes to the console unseen: any fault shows where the results go.
  window.addEventListener('error', (e) => { showFailure(`Unexpected failure: ${e.message}`); e.preventDefault(); });
  window.addEventListener('unhandledrejection', (e) => { showFailure(`Unexpected failure: ${e.reason}`); e.preventDefault(); });

  // ---- A Worker and its answers ----------------------------------------------------------

  // Over HTTP the Worker runs worker.js. Opened from a folder (file://) the browser starts no
  // Worker from a file: the engine's and the Worker's code are loaded into the page as scripts
  // (the engine carries its WebAssembly inside) and the Worker is made from their source text.
  const fromFolder = location.protocol === 'file:';
  let workerSource = null;
  const loaded = (src) => new Promise((resolve, reject) => {
    const script = document.createElement('script');
    script.src = src;
    script.onload = resolve;
    script.onerror = () => reject(new Error(`cannot load ${src}`));
    document.head.append(script);
  });
  const ready = fromFolder
    ? Promise.all([loaded('lvlim_web.js'), loaded('worker.js')]).then(() => {
      /* global createLvlim, lvlimWorker */
      const text = `var _scriptDir;\nvar createLvlim = ${createLvlim};\n${lvlimWorker}\nlvlimWorker();\n`;
      workerSource = URL.createObjectURL(new Blob([text], { type: 'text/javascript' }));
    })
    : Promise.resolve();

  function newWorker() {
    return new Worker(fromFolder ? workerSource : 'worker.js');
  }

  // How long a request may go unanswered (a test may shorten it before the page loads).
  const answerTimeoutMs = window.lvlimAnswerTimeoutMs || 60000;
  // Set when the engine cannot start at all (its file missing, no WebAssembly): every later
  // request, in any tab, shows it in that tab instead of waiting.
  let engineBroken = null;

  // A Worker and its requests: each is answered once, or failed on the Worker's error or when
  // no answer comes in time; onFailure(text) then says so where the request was made.
  // One request at a time is with the Worker: a request made meanwhile waits, and takes the
  // place of an older one of its kind still waiting, whose answer nobody wants any more (with
  // a large sample each change would otherwise queue a whole computation, the newest answer
  // coming only after all of them, or failing on its time limit while the others ran).
  function makeEngine(onAnswer, onFailure) {
    let worker = null;
    const pending = new Map(); // id -> its timer and the handler of its answer
    let waiting = []; // the requests not yet sent, with their handlers
    const sort = (job) => (job.type === 'logs' ? 'data' : job.type);
    function send({ job, handler }) {
      pending.set(job.id, { handler, timer: setTimeout(() => fail(
        `The engine did not answer within ${answerTimeoutMs / 1000} s and was stopped. ` +
        'Change an input to try again.'), answerTimeoutMs) });
      worker.postMessage(job);
    }
    function stop() {
      for (const { timer } of pending.values()) clearTimeout(timer);
      pending.clear();
      waiting = [];
      if (worker) worker.terminate();
      worker = null;
    }
    function fail(text) {
      stop();
      onFailure(text);
    }
    function start() {
      worker = newWorker();
      worker.onmessage = (e) => {
        const job = pending.get(e.data.id);
        if (job === undefined) return;
        clearTimeout(job.timer);
        pending.delete(e.data.id);
        if (pending.size === 0 && waiting.length > 0) send(waiting.shift());
        job.handler(e.data.id, e.data.answer);
      };
      worker.onerror = (e) => {
        e.preventDefault();
        engineBroken = `The engine could not start: ${e.message || 'its file could not be loaded'}. ` +
          'Reload the page; if this stays, the page is incomplete (lvlim_web.js is missing) or the browser runs no WebAssembly.';
        fail(engineBroken);
      };
    }
    return {
      // The answer goes to `handler` when one is given, else to onAnswer.
      post(job, handler = onAnswer) {
        if (engineBroken) { onFailure(engineBroken); return; }
        if (!worker) start();
        if (pending.size === 0) { send({ job, handler }); return; }
        waiting = waiting.filter((w) => sort(w.job) !== sort(job));
        waiting.push({ job, handler });
      },
      // Loads the engine now, so that the first request need not wait for it.
      warm() {
        if (!worker && !engineBroken) start();
      },
      stop,
    };
  }

  // ---- Tabs ----------------------------------------------------------------------------------

  const tabs = [$('tab-data'), $('tab-summary'), $('tab-plan'), $('tab-table')];

  function selectTab(name, focus) {
    currentTab = name;
    for (const tab of tabs) {
      const selected = tab.id === `tab-${name}`;
      tab.setAttribute('aria-selected', String(selected));
      tab.tabIndex = selected ? 0 : -1;
      $(tab.getAttribute('aria-controls')).hidden = !selected;
      if (selected && focus) tab.focus();
    }
    $('calculator').hidden = name === 'table' || name === 'plan';
    // Summary statistics have no pictures: say so instead of empty frames.
    $('pictures-none').hidden = name !== 'summary';
    $('pictures-body').hidden = name === 'summary';
    schedule();
  }

  tabs.forEach((tab, i) => {
    tab.addEventListener('click', () => selectTab(tab.id.slice(4), false));
    tab.addEventListener('keydown', (e) => {
      const moves = { ArrowRight: i + 1, ArrowLeft: i - 1, Home: 0, End: tabs.length - 1 };
      if (!(e.key in moves)) return;
      e.preventDefault();
      const next = tabs[(moves[e.key] + tabs.length) % tabs.length];
      selectTab(next.id.slice(4), true);
    });
  });

  // ---- The calculator ------------------------------------------------------------------------

  let latest = 0;
  let lastAnswer = null;
  let timer = null;
  let calculator = null;
  function onCalculatorAnswer(id, answer) {
    if (id !== latest) return; // an answer overtaken by newer input
    try {
      render(answer);
    } catch (error) {
      showFailure(`Unexpected failure: ${error}`);
    }
  }

  // A kind or statistic in a link that names none of the choices is kept as it was written, so
  // that the engine refuses it under its field instead of a default taking its place unsaid;
  // choosing one ends it.
  let linkKind = null;
  let linkStatistic = null;
  const kind = () => linkKind ?? document.querySelector('input[name="kind"]:checked').value;
  const statistic = () => linkStatistic ?? $('plan-statistic').value;

  function schedule() {
    clearTimeout(timer);
    timer = setTimeout(compute, debounceMs);
  }

  function compute() {
    updateUrl(null);
    if (currentTab === 'table' || calculator === null) return;
    if (currentTab === 'plan') { computePlan(); return; }
    const job = {
      id: ++latest, kind: kind(), confidence: $('confidence').value,
      percentile: $('percentile').value.trim(), limit: $('limit').value.trim(),
    };
    if (currentTab === 'data') {
      if ($('data').value.trim() === '') { clearResults(urlNote || 'Enter measurements, or try the example.'); return; }
      // Read by lvlim-data's reader: an opened file under its name, pasted text as "data".
      Object.assign(job, { type: 'data', text: $('data').value, source: fileName || 'data', column: chosenColumn });
    } else {
      const parts = ['n', 'log_mean', 'log_sd'].map((f) => $(f).value.trim());
      if (parts.every((p) => p === '')) { clearResults('Enter n and the mean and standard deviation of the logs.'); return; }
      Object.assign(job, { type: 'logs', n: parts[0], log_mean: parts[1], log_sd: parts[2] });
    }
    if (engineBroken) { showFailure(engineBroken); return; }
    const state = $('state');
    state.dataset.state = 'busy';
    state.textContent = 'Computing';
    calculator.post(job);
  }

  function clearErrors() {
    $('read-from').textContent = '';
    for (const p of document.querySelectorAll('#calculator .error')) p.textContent = '';
    for (const el of document.querySelectorAll('#calculator [aria-invalid]')) el.removeAttribute('aria-invalid');
  }

  function clearResults(text) {
    ++latest;
    clearErrors();
    lastAnswer = null;
    $('result-body').replaceChildren();
    $('verdicts').replaceChildren();
    $('fit').hidden = true;
    $('strip-plot').replaceChildren();
    $('qq-plot').replaceChildren();
    for (const b of ['download-csv', 'download-json', 'download-strip', 'download-qq']) $(b).disabled = true;
    $('state').dataset.state = 'idle';
    $('state').textContent = text;
  }

  function valueElement(field, value, text) {
    const span = document.createElement('span');
    span.dataset.field = field;
    span.dataset.value = full(value);
    span.textContent = text === undefined ? show6(value) : text;
    return span;
  }

  function addPair(list, label, element) {
    const dt = document.createElement('dt');
    dt.textContent = label;
    const dd = document.createElement('dd');
    dd.append(element);
    list.append(dt, dd);
  }

  function limitLabels(row) {
    const p = percent(row.confidence);
    if (row.kind === 'upper') return { upper: `${p} upper confidence limit of the mean` };
    if (row.kind === 'lower') return { lower: `${p} lower confidence limit of the mean` };
    return {
      lower: `${p} confidence interval of the mean, lower limit`,
      upper: `${p} confidence interval of the mean, upper limit`,
    };
  }

  function render(answer) {
    clearErrors();
    if (answer.columns) showColumns(answer.columns, answer.column);
    lastAnswer = null;
    updateUrl(answer);
    const body = $('result-body');
    body.replaceChildren();
    $('verdicts').replaceChildren();
    $('fit').hidden = true;
    const state = $('state');
    if (answer.errors.length > 0) {
      for (const error of answer.errors) {
        const target = $(`${error.field}-error`) || $('state');
        target.textContent = error.message;
        const input = $(error.field);
        if (input) input.setAttribute('aria-invalid', 'true');
      }
      state.dataset.state = 'error';
      state.textContent = 'Nothing computed: see the message next to the field.';
      for (const b of ['download-csv', 'download-json']) $(b).disabled = true;
      drawPlots(answer, null);
      return;
    }
    lastAnswer = answer;
    const s = answer.summary;
    const first = answer.results[0];
    showVerdicts(answer);
    showFit(first);
    const section = (title) => {
      const h = document.createElement('h3');
      h.textContent = title;
      const list = document.createElement('dl');
      list.className = 'values';
      body.append(h, list);
      return list;
    };
    const geometric = section('Geometric mean and standard deviation');
    addPair(geometric, 'n, number of measurements', valueElement('n', s.n, String(s.n)));
    addPair(geometric, 'GM, geometric mean', valueElement('gm', first.gm));
    addPair(geometric, 'GSD, geometric standard deviation', valueElement('gsd', first.gsd));
    const summary = section('The mean');
    addPair(summary, 'Mean of the logs', valueElement('log_mean', s.log_mean));
    addPair(summary, 'Standard deviation of the logs', valueElement('log_sd', s.log_sd));
    addPair(summary, 'Unbiased estimate of the mean (minimum variance)', valueElement('mvue', s.mvue));
    addPair(summary, 'Arithmetic mean of the sample', valueElement('sample_mean', s.sample_mean,
      s.sample_mean === null ? 'not known from summary statistics' : undefined));
    addPair(summary, 'Plug-in estimate exp(mean + sd²/2)', valueElement('plug_in', s.plug_in));

    let failed = 0;
    for (const row of answer.results) {
      const box = document.createElement('div');
      box.className = 'row';
      box.dataset.confidence = String(row.confidence);
      const labels = limitLabels(row);
      const list = document.createElement('dl');
      list.className = 'values';
      const bad = row.status !== 'ok';
      const mark = bad ? '⚠ ' : '';
      // exp of a log-scale limit beyond about 709.78 exceeds the largest double.
      const overflow = (v) => (v === Infinity ? ' (beyond the largest number a computer double holds)' : '');
      if (labels.lower) addPair(list, labels.lower, valueElement('mean_lower', row.mean_lower, mark + show6(row.mean_lower) + overflow(row.mean_lower)));
      if (labels.upper) addPair(list, labels.upper, valueElement('mean_upper', row.mean_upper, mark + show6(row.mean_upper) + overflow(row.mean_upper)));
      addPair(list, 'Searches', valueElement('status', row.status, bad ? '⚠ search failed: this limit is not to be trusted' : 'converged'));
      box.append(list);
      box.append(...assessmentParts(row));
      if (bad) {
        ++failed;
        box.classList.add('failed');
        box.querySelector('[data-field="status"]').classList.add('failed-mark');
      }
      const details = document.createElement('details');
      const title = document.createElement('summary');
      title.textContent = 'On the log scale';
      const logs = document.createElement('dl');
      logs.className = 'values';
      addPair(logs, 'nu, degrees of freedom', valueElement('nu', row.nu));
      addPair(logs, 'gammasquared', valueElement('gammasquared', row.gammasquared));
      if (labels.lower) {
        addPair(logs, 'Standardized lower limit k', valueElement('k_lower', row.k_lower));
        addPair(logs, 'Lower limit of mu + sigma²/2', valueElement('log_lower', row.log_lower));
      }
      if (labels.upper) {
        addPair(logs, 'Standardized upper limit k', valueElement('k_upper', row.k_upper));
        addPair(logs, 'Upper limit of mu + sigma²/2', valueElement('log_upper', row.log_upper));
      }
      details.append(title, logs);
      if (row.messages.length > 0) {
        const messages = document.createElement('pre');
        messages.className = 'messages';
        messages.textContent = row.messages.join('\n');
        details.append(messages);
        details.open = bad;
      }
      box.append(details);
      body.append(box);
    }
    state.dataset.state = 'done';
    state.textContent = failed > 0
      ? `⚠ ${failed} of ${answer.results.length} searches failed: those limits are marked.`
      : `Computed from n = ${s.n}.`;
    if (answer.read_from) $('read-from').textContent = `Measurements read from ${answer.read_from}.`;
    for (const b of ['download-csv', 'download-json']) $(b).disabled = false;
    drawPlots(answer, answer.results[0]);
  }

  let drawn = null;
  // ---- The assessment ------------------------------------------------------------------------

  const limitText = (row) => `${String(row.limit)}${$('unit').value.trim() ? ` ${$('unit').value.trim()}` : ''}`;
  // "95th" for 0.95, "99.9th" for 0.999.
  const ordinal = (p) => {
    const text = percent(p).slice(0, -1);
    const last = text.endsWith('1') && !text.endsWith('11') ? 'st' : text.endsWith('2') && !text.endsWith('12') ? 'nd'
      : text.endsWith('3') && !text.endsWith('13') ? 'rd' : 'th';
    return text + last;
  };

  // The verdicts in plain words, one line for the mean and one for the percentile at each level.
  function showVerdicts(answer) {
    const box = $('verdicts');
    const first = answer.results[0];
    if (first.limit === null) {
      const p = document.createElement('p');
      p.className = 'verdict none';
      p.textContent = `Enter a limit value to see whether the mean and the ${ordinal(first.percentile)} percentile are below it.`;
      box.replaceChildren(p);
      return;
    }
    for (const row of answer.results) {
      for (const [what, name, field, pField] of [
        ['mean', 'The mean', 'mean_verdict', 'mean_p_value'],
        ['percentile', `The ${ordinal(row.percentile)} percentile`, 'percentile_verdict', 'percentile_p_value']]) {
        const verdict = row[field];
        const p = document.createElement('p');
        p.className = `verdict ${verdict || 'none'}`;
        const c = percent(row.confidence);
        const pValue = `p-value ${show6(row[pField])}${what === 'mean' && row.mean_p_value_bounded ? ', the bound of its search' : ''}`;
        const words = {
          below: `${name} is below the limit ${limitText(row)} with ${c} confidence (${pValue}).`,
          above: `${name} is above the limit ${limitText(row)} with ${c} confidence (${pValue}).`,
          undecided: `Undecided at ${c} confidence: ${name.toLowerCase()} may be below or above the limit ${limitText(row)} (${pValue}). More measurements may decide it.`,
        };
        p.append(valueElement(field, verdict,
          words[verdict] || `⚠ ${name}: no verdict, as a limit it needs was not computed.`));
        box.append(p);
      }
    }
  }

  function showFit(row) {
    const list = document.createElement('dl');
    list.className = 'values';
    const title = document.createElement('h3');
    title.textContent = 'Does the lognormal model fit?';
    if (row.shapiro_wilk_w === null) {
      const note = document.createElement('p');
      note.textContent = row.fit_message || 'The W test needs the measurements themselves.';
      $('fit-values').replaceChildren(title, note);
    } else {
      addPair(list, 'W of the logs (Shapiro-Wilk)', valueElement('shapiro_wilk_w', row.shapiro_wilk_w));
      addPair(list, 'p-value', valueElement('shapiro_wilk_p', row.shapiro_wilk_p));
      const verdict = document.createElement('p');
      verdict.className = row.fit_doubtful ? 'fit doubtful' : 'fit';
      verdict.textContent = (row.fit_doubtful
        ? 'The lognormal model is doubtful (p < 0.05): every limit here rests on it.'
        : 'No evidence against the lognormal model.') + ' The test is weak for small samples.';
      $('fit-values').replaceChildren(title, list, verdict);
    }
    $('fit').hidden = false;
  }

  // The percentile, the exceedance and the p-values of one row.
  function assessmentParts(row) {
    const parts = [];
    const p = percent(row.confidence);
    const name = `${ordinal(row.percentile)} percentile`;
    const list = document.createElement('dl');
    list.className = 'values';
    addPair(list, `Estimate of the ${name}`, valueElement('percentile_estimate', row.percentile_estimate));
    if (row.kind !== 'lower') {
      addPair(list, `${row.kind === 'upper' ? p : `${p} two-sided`} upper tolerance limit of the ${name}`, valueElement('percentile_upper', row.percentile_upper));
    }
    if (row.kind !== 'upper') {
      addPair(list, `${row.kind === 'lower' ? p : `${p} two-sided`} lower limit of the ${name}`, valueElement('percentile_lower', row.percentile_lower));
    }
    list.append(valueElement('percentile', row.percentile, ''));
    parts.push(list);
    if (row.limit !== null) {
      const over = document.createElement('dl');
      over.className = 'values';
      const share = (v) => (v === null ? '—' : `${Number((v * 100).toPrecision(4))}%`);
      addPair(over, `Fraction above the limit ${limitText(row)}`, valueElement('exceedance', row.exceedance, share(row.exceedance)));
      if (row.kind !== 'lower') addPair(over, `${p} upper limit of the fraction`, valueElement('exceedance_upper', row.exceedance_upper, share(row.exceedance_upper)));
      if (row.kind !== 'upper') addPair(over, `${p} lower limit of the fraction`, valueElement('exceedance_lower', row.exceedance_lower, share(row.exceedance_lower)));
      addPair(over, 'p-value, mean at least the limit', valueElement('mean_p_value', row.mean_p_value));
      addPair(over, `p-value, ${name} at least the limit`, valueElement('percentile_p_value', row.percentile_p_value));
      over.append(valueElement('limit', row.limit, ''));
      parts.push(over);
    }
    const status = valueElement('assessment_status', row.assessment_status, row.assessment_status === 'ok' ? ''
      : `⚠ ${row.assessment_messages.join('; ')}`);
    if (row.assessment_status !== 'ok') status.className = 'failed-mark';
    parts.push(status);
    return parts;
  }

  function drawPlots(answer, row) {
    drawn = { answer, row };
    const strip = $('strip-plot');
    const qq = $('qq-plot');
    if (!answer.plot || !answer.summary) {
      strip.replaceChildren();
      qq.replaceChildren();
      $('download-strip').disabled = true;
      $('download-qq').disabled = true;
      return;
    }
    const marks = [{ value: answer.summary.mvue, label: 'estimate', colour: '#1b7a1b' }];
    if (row) {
      const p = percent(row.confidence);
      if (row.mean_lower !== null) marks.push({ value: row.mean_lower, label: `${p} lower`, colour: '#a4161a', dash: true });
      if (row.mean_upper !== null) marks.push({ value: row.mean_upper, label: `${p} upper`, colour: '#a4161a', dash: true });
      if (row.limit !== null) marks.push({ value: row.limit, label: 'limit value', colour: '#7a4b00' });
    }
    strip.innerHTML = Plots.strip(answer.plot, marks, strip.clientWidth);
    qq.innerHTML = Plots.qq(answer.plot, answer.summary.log_mean, answer.summary.log_sd, qq.clientWidth);
    $('download-strip').disabled = false;
    $('download-qq').disabled = false;
  }

  // Drawn again at a new width, so that their text keeps its size.
  let resizeTimer = null;
  window.addEventListener('resize', () => {
    clearTimeout(resizeTimer);
    resizeTimer = setTimeout(() => { if (drawn) drawPlots(drawn.answer, drawn.row); drawPlan(); }, 100);
  });

  // ---- Downloads -----------------------------------------------------------------------------

  function download(name, type, text) {
    const url = URL.createObjectURL(new Blob([text], { type }));
    const a = document.createElement('a');
    a.href = url;
    a.download = name;
    document.body.append(a);
    a.click();
    a.remove();
    setTimeout(() => URL.revokeObjectURL(url), 1000);
  }

  const csvCell = (v) => {
    // Messages are joined as lvlim-data's CSV joins them.
    const text = Array.isArray(v) ? v.join(' | ') : v === null || v === undefined ? '' : String(v);
    return /[",\n]/.test(text) ? `"${text.replace(/"/g, '""')}"` : text;
  };

  function resultsCsv(answer) {
    const lines = [rowFields.join(',')];
    for (const row of answer.results) lines.push(rowFields.map((f) => csvCell(row[f])).join(','));
    return lines.join('\n') + '\n';
  }

  function resultsJson(answer) {
    const results = answer.results.map((row) => Object.fromEntries(rowFields.map((f) => [f, row[f]])));
    return JSON.stringify({ results }, null, 2) + '\n';
  }

  $('download-csv').addEventListener('click', () => lastAnswer && download('lvlim-results.csv', 'text/csv', resultsCsv(lastAnswer)));
  $('download-json').addEventListener('click', () => lastAnswer && download('lvlim-results.json', 'application/json', resultsJson(lastAnswer)));
  $('download-strip').addEventListener('click', () => download('strip-plot.svg', 'image/svg+xml', $('strip-plot').innerHTML));
  $('download-qq').addEventListener('click', () => download('qq-plot.svg', 'image/svg+xml', $('qq-plot').innerHTML));

  // ---- The URL -------------------------------------------------------------------------------

  const dataItems = (text) => text.split('\n').map((l) => l.replace(/#.*/, '')).join(' ')
    .split(/[\s,]+/).filter((s) => s !== '');

  // The measurements in a link: a plain list as typed, or the values read from a table's
  // column (each written as the shortest text that reads back as the same number); null with
  // the reason when the link cannot hold them.
  let lastWasTable = false;
  let linkData = { items: [], omitted: null };

  function dataForLink(answer) {
    if (answer && answer.columns.length > 1) {
      if (!answer.link_values) {
        return { items: [], omitted: answer.summary ? 'many' : 'table' };
      }
      return { items: answer.link_values.map(String), omitted: null };
    }
    const items = dataItems($('data').value);
    return items.length <= maxLinkValues ? { items, omitted: null } : { items: [], omitted: 'many' };
  }

  // Called as a request goes out (answer null: the data's shape is not known yet, so a text
  // that was a table keeps no data in the link) and again with its answer.
  function updateUrl(answer) {
    const q = new URLSearchParams();
    if (currentTab === 'data') {
      if (answer) linkData = dataForLink(answer);
      else if (lastWasTable) linkData = { items: [], omitted: 'table' };
      else linkData = dataForLink(null);
      if (linkData.items.length > 0) q.set('data', linkData.items.join(','));
      else if (linkData.omitted && $('data').value.trim() !== '') q.set('omitted', linkData.omitted);
    } else if (currentTab === 'summary') {
      for (const f of ['n', 'log_mean', 'log_sd']) if ($(f).value.trim() !== '') q.set(f, $(f).value.trim());
    } else {
      q.set('tab', 'table');
    }
    if (currentTab === 'plan') {
      q.set('tab', 'plan');
      for (const [name, id] of [['gsd', 'plan-gsd'], ['ratio', 'plan-ratio'], ['statistic', 'plan-statistic'],
        ['percentile', 'plan-percentile'], ['confidence', 'plan-confidence']]) q.set(name, $(id).value.trim());
      q.set('statistic', statistic());
      q.set(goal(), $('plan-target').value.trim());
    } else if (currentTab !== 'table') {
      if ($('limit').value.trim() !== '') q.set('limit', $('limit').value.trim());
      if ($('unit').value.trim() !== '') q.set('unit', $('unit').value.trim());
      q.set('percentile', $('percentile').value.trim());
      q.set('confidence', $('confidence').value.trim());
      q.set('kind', kind());
    }
    const query = q.toString().replace(/%2C/g, ',');
    history.replaceState(null, '', query ? `?${query}` : location.pathname);
  }

  const omittedText = {
    table: 'the measurements of a table whose column is not yet chosen',
    many: `more than ${maxLinkValues} measurements`,
  };

  // The tab the address asks for, its fields filled in; a note when the link lacks its data.
  let urlNote = null;
  function readUrl() {
    const q = new URLSearchParams(location.search);
    if (q.has('omitted')) {
      urlNote = `This link was made without its measurements (${omittedText[q.get('omitted')] || 'they did not fit in it'}): ` +
        'paste or open them again.';
    }
    if (q.get('tab') === 'plan') {
      for (const [name, id] of [['gsd', 'plan-gsd'], ['ratio', 'plan-ratio'], ['statistic', 'plan-statistic'],
        ['percentile', 'plan-percentile'], ['confidence', 'plan-confidence']]) if (q.has(name)) $(id).value = q.get(name);
      if (q.has('statistic') && $('plan-statistic').value !== q.get('statistic')) {
        // None is shown chosen, so that choosing either is a change.
        linkStatistic = q.get('statistic');
        $('plan-statistic').value = '';
      }
      const wanted = q.has('expected_ratio') ? 'expected_ratio' : 'power';
      document.querySelector(`input[name="goal"][value="${wanted}"]`).checked = true;
      if (q.has(wanted)) $('plan-target').value = q.get(wanted);
      return 'plan';
    }
    for (const f of ['confidence', 'limit', 'unit', 'percentile']) if (q.has(f)) $(f).value = q.get(f);
    const k = q.get('kind');
    const radio = document.querySelector(`input[name="kind"][value="${CSS.escape(k || '')}"]`);
    if (radio) radio.checked = true;
    else if (k !== null) {
      linkKind = k;
      for (const r of document.querySelectorAll('input[name="kind"]')) r.checked = false;
    }
    if (q.has('data')) {
      $('data').value = q.get('data').split(',').join(', ');
      return 'data';
    }
    if (q.has('n') || q.has('log_mean') || q.has('log_sd')) {
      for (const f of ['n', 'log_mean', 'log_sd']) $(f).value = q.get(f) || '';
      return 'summary';
    }
    return q.get('tab') === 'table' ? 'table' : 'data';
  }

  $('copy-link').addEventListener('click', () => {
    const omitted = currentTab === 'data' && new URLSearchParams(location.search).get('omitted');
    const note = omitted ? `The link holds no measurements: it cannot hold ${omittedText[omitted]}.` : '';
    // Said at once, whatever the clipboard does.
    $('state').textContent = `Copying the link. ${note}`;
    copyText(location.href, `Link copied. ${note}`, $('state'));
  });

  function copyText(text, done, where) {
    const fallback = () => {
      const area = document.createElement('textarea');
      area.value = text;
      document.body.append(area);
      area.select();
      const ok = document.execCommand('copy');
      area.remove();
      where.textContent = ok ? done : 'Copying is not allowed here; select and copy by hand.';
    };
    if (navigator.clipboard && window.isSecureContext) {
      navigator.clipboard.writeText(text).then(() => { where.textContent = done; }, fallback);
    } else {
      fallback();
    }
  }

  // ---- A CSV or TSV file ---------------------------------------------------------------------

  let fileName = '';
  let chosenColumn = '';
  // The table's fields (n, sigma, its confidence) as numbers.
  const isNumber = (s) => /^-?(\d+\.?\d*|\.\d+)([eE][+-]?\d+)?$/.test(s);

  // The columns the reader found in a table, with the one it read (the page parses nothing).
  function showColumns(columns, column) {
    const select = $('column');
    const labels = columns.map((c) => `${c.value}\t${c.label}`).join('\n');
    if (select.dataset.labels !== labels) {
      const none = document.createElement('option');
      none.value = '';
      none.textContent = 'choose a column';
      select.replaceChildren(none, ...columns.map((c) => {
        const option = document.createElement('option');
        option.value = c.value;
        option.textContent = c.label;
        return option;
      }));
      select.dataset.labels = labels;
    }
    select.value = column;
    $('column-picker').hidden = columns.length <= 1;
    lastWasTable = columns.length > 1;
  }

  // The file's text as it is, read as lvlim-data reads the file.
  function openFile(text, name) {
    fileName = name;
    chosenColumn = '';
    $('data').value = text;
    selectTab('data', false);
  }

  $('example').addEventListener('click', () => {
    fileName = '';
    chosenColumn = '';
    $('data').value = $('example-data').textContent.replace(/^\n/, '');
    selectTab('data', false);
  });

  $('file').addEventListener('change', () => {
    const file = $('file').files[0];
    if (!file) return;
    file.text().then((text) => openFile(text, file.name), (error) => {
      $('data-error').textContent = `cannot read '${file.name}': ${error}`;
    });
  });
  $('column').addEventListener('change', () => { chosenColumn = $('column').value; schedule(); });
  // Typed or pasted text is no longer the file's.
  $('data').addEventListener('input', () => { fileName = ''; urlNote = null; });

  for (const id of ['data', 'n', 'log_mean', 'log_sd', 'confidence', 'limit', 'unit', 'percentile']) $(id).addEventListener('input', schedule);
  for (const radio of document.querySelectorAll('input[name="kind"]')) radio.addEventListener('change', () => { linkKind = null; schedule(); });

  // ---- Planning a study ----------------------------------------------------------------------

  const goal = () => document.querySelector('input[name="goal"]:checked').value;
  const planFields = { gsd: 'plan-gsd', ratio: 'plan-ratio', statistic: 'plan-statistic',
    'plan-percentile': 'plan-percentile', 'plan-confidence': 'plan-confidence', target: 'plan-target' };
  let planEngine = null;
  let planLatest = 0;
  let planAnswer = null;
  let planRunning = false;

  function planState(text, state) {
    $('plan-state').textContent = text;
    $('plan-state').dataset.state = state;
  }

  function computePlan() {
    if (engineBroken) { planState(engineBroken, 'error'); return; }
    if (!planEngine) {
      planEngine = makeEngine(showPlan, (text) => { ++planLatest; planState(text, 'error'); });
    }
    // A search still running for older inputs is ended, not waited for.
    if (planRunning) planEngine.stop();
    planRunning = true;
    planState('Computing', 'busy');
    planEngine.post({
      id: ++planLatest, type: 'plan', gsd: $('plan-gsd').value.trim(), ratio: $('plan-ratio').value.trim(),
      statistic: statistic(), percentile: $('plan-percentile').value.trim(),
      confidence: $('plan-confidence').value.trim(), goal: goal(), target: $('plan-target').value.trim(),
    });
  }

  function showPlan(id, answer) {
    if (id !== planLatest) return;
    planRunning = false;
    for (const field of Object.keys(planFields)) {
      $(`${field}-error`).textContent = '';
      $(planFields[field]).removeAttribute('aria-invalid');
    }
    const out = $('plan-result');
    out.replaceChildren();
    if (answer.errors.length > 0) {
      for (const error of answer.errors) {
        const target = $(`${error.field}-error`) || $('plan-state');
        target.textContent = error.message;
        if (planFields[error.field]) $(planFields[error.field]).setAttribute('aria-invalid', 'true');
      }
      planState('Nothing computed: see the message next to the field.', 'error');
      $('plan-plot').replaceChildren();
      planAnswer = null;
      return;
    }
    planAnswer = answer;
    const what = answer.goal === 'power' ? 'power' : 'expected ratio';
    const list = document.createElement('dl');
    list.className = 'values';
    addPair(list, 'Number of measurements needed', valueElement('sample_size', answer.sample_size,
      answer.sample_size === null ? 'more than 1000: not reached from 3 to 1000' : String(answer.sample_size)));
    addPair(list, `Its ${what}`, valueElement('achieved', answer.achieved));
    out.append(list);
    if (!answer.monotone || answer.status !== 'ok') {
      const warn = document.createElement('p');
      warn.className = 'failed-mark';
      warn.textContent = `⚠ ${answer.messages.join('; ')}`;
      out.append(warn);
    }
    planState(answer.sample_size === null ? `The target ${what} is not reached with up to 1000 measurements.`
      : `${answer.sample_size} measurements reach the target ${what}.`, 'done');
    drawPlan();
  }

  function drawPlan() {
    if (!planAnswer) return;
    const box = $('plan-plot');
    box.innerHTML = Plots.curve(planAnswer.rows, planAnswer.goal, planAnswer.target, planAnswer.sample_size, box.clientWidth);
  }

  for (const id of ['plan-gsd', 'plan-ratio', 'plan-percentile', 'plan-confidence', 'plan-target']) $(id).addEventListener('input', schedule);
  $('plan-statistic').addEventListener('change', () => { linkStatistic = null; schedule(); });
  for (const radio of document.querySelectorAll('input[name="goal"]')) radio.addEventListener('change', () => {
    $('plan-target').value = goal() === 'power' ? '0.8' : '2';
    schedule();
  });

  // ---- The table of k ------------------------------------------------------------------------

  // A table is made in batches of cells, each batch one request to its own Worker, so the page
  // stays free between them and Stop ends the Worker at once. A table larger than the page makes
  // in about a minute is refused with the lvlim-table command that makes it.
  const maxTableCells = 10000;
  const maxAxisValues = 1000;
  let tableReading = null; // the table whose axes the engine is reading
  const tableMinutesMs = 60000;
  let tableEngine = null;
  let tableCells = [];
  let tableDone = 0;
  let tableSetting = null;
  let tableRun = 0; // the table the answers belong to
  let tableBatch = 8;
  let tableStarted = 0;
  let tableRows = [];

  function tableState(text, state) {
    $('table-state').textContent = text;
    $('table-state').dataset.state = state;
  }

  function stopTable(text) {
    ++tableRun;
    if (tableEngine) tableEngine.stop();
    $('table-stop').disabled = true;
    $('table-start').disabled = false;
    if (text) tableState(text, 'stopped');
  }

  function tableCommand(tableKind, confidence) {
    return `lvlim-table --kind=${tableKind} --alpha=${confidence} --n=${compact('table-n')} ` +
      `--sigma=${compact('table-sigma')} --format=csv`;
  }

  function refuseTable(text, tableKind, confidence) {
    const state = $('table-state');
    state.dataset.state = 'refused';
    const code = document.createElement('code');
    code.id = 'table-command';
    code.textContent = tableCommand(tableKind, confidence);
    state.replaceChildren(text + ' Make it with lvlim-table: ', code);
  }

  // The axes as the lvlim-table command shown with the table has them, read by the engine.
  const compact = (id) => $(id).value.replace(/\s+/g, '');

  function startTable() {
    for (const id of ['table-n', 'table-sigma', 'table-confidence']) {
      $(`${id}-error`).textContent = '';
      $(id).removeAttribute('aria-invalid');
    }
    if (engineBroken) { tableState(engineBroken, 'error'); return; }
    if (calculator === null) return; // the engine is still loading
    stopTable(null);
    const run = tableRun;
    tableReading = run;
    // Stop acts while the values are read, too.
    tableCells = [];
    tableDone = 0;
    $('table-progress').value = 0;
    $('table-start').disabled = true;
    $('table-stop').disabled = false;
    tableState('Reading the values', 'busy');
    calculator.post({ id: `axes-${run}`, type: 'axes', n: compact('table-n'), sigma: compact('table-sigma') },
      (id, answer) => readTable(run, answer));
  }

  // The engine failed while it read the axes: the message stays in the table's tab too.
  function tableReadFailed(text) {
    if (tableReading === null || tableReading !== tableRun) return;
    tableReading = null;
    stopTable(null);
    tableState(text, 'error');
  }

  // The axes read: the table starts, or the messages go next to their fields.
  function readTable(run, answer) {
    if (run !== tableRun) return; // stopped or started again meanwhile
    tableReading = null;
    $('table-start').disabled = false;
    $('table-stop').disabled = true;
    if (answer.error) { tableState(answer.error, 'error'); return; }
    const ns = answer.n && Array.from(answer.n);
    const sigmas = answer.sigma && Array.from(answer.sigma);
    const confidence = Number($('table-confidence').value.trim());
    const bad = [];
    for (const [id, values] of [['table-n', ns], ['table-sigma', sigmas]]) {
      if (!values) bad.push([id, `invalid values '${$(id).value}'`]);
      else if (values.length > maxAxisValues) {
        bad.push([id, `${values.length} values: this page makes at most ${maxAxisValues} per axis`]);
      }
    }
    if (!isNumber($('table-confidence').value.trim()) || !(confidence > 0 && confidence < 1)) {
      bad.push(['table-confidence', `the confidence must lie strictly between 0 and 1, not ${$('table-confidence').value}`]);
    }
    if (bad.length > 0) {
      for (const [id, text] of bad) { $(`${id}-error`).textContent = text; $(id).setAttribute('aria-invalid', 'true'); }
      tableState('Nothing computed: see the message next to the field.', 'error');
      return;
    }
    const tableKind = $('table-kind').value;
    const count = ns.length * sigmas.length;
    if (count > maxTableCells) {
      refuseTable(`A table of ${count} cells is more than this page makes in about a minute ` +
        `(at most ${maxTableCells} cells).`, tableKind, confidence);
      return;
    }
    tableSetting = { ns, sigmas, confidence, kind: tableKind };
    $('table-caption').textContent = `k, ${tableKind}, confidence ${confidence}: sigma down, n across`;
    // The header row now; the rows as their cells come.
    const table = document.createElement('table');
    const head = document.createElement('tr');
    const corner = document.createElement('th');
    corner.scope = 'col';
    corner.textContent = 'sigma \\ n';
    head.append(corner);
    for (const n of ns) {
      const th = document.createElement('th');
      th.scope = 'col';
      th.dataset.value = String(n);
      th.textContent = rounded(n);
      head.append(th);
    }
    table.append(head);
    tableRows = [];
    tableCells = [];
    for (const sigma of sigmas) for (const n of ns) tableCells.push({ n, sigma, answer: null });
    $('table-out').replaceChildren(table);
    tableDone = 0;
    tableBatch = 8;
    tableStarted = performance.now();
    $('table-progress').max = tableCells.length;
    $('table-progress').value = 0;
    $('table-copy').disabled = true;
    $('table-download').disabled = true;
    $('table-start').disabled = true;
    $('table-stop').disabled = false;
    tableState(`0 of ${tableCells.length} cells`, 'busy');
    if (!tableEngine) {
      tableEngine = makeEngine((id, answers) => showCells(id, answers), (text) => {
        stopTable(null);
        tableState(text, 'error');
      });
    }
    sendBatch(run);
  }

  function sendBatch(run) {
    const from = tableDone;
    const cells = tableCells.slice(from, from + tableBatch).map((c) => ({ n: c.n, sigma: c.sigma }));
    tableEngine.post({ id: run, type: 'cells', from, cells, kind: tableSetting.kind, confidence: tableSetting.confidence, sent: performance.now() });
  }

  function tableRow(index) {
    while (tableRows.length <= index) {
      const tr = document.createElement('tr');
      const th = document.createElement('th');
      th.scope = 'row';
      const sigma = tableSetting.sigmas[tableRows.length];
      th.dataset.value = String(sigma);
      th.textContent = rounded(sigma);
      tr.append(th);
      $('table-out').firstChild.append(tr);
      tableRows.push(tr);
    }
    return tableRows[index];
  }

  function showCells(run, batch) {
    if (run !== tableRun) return; // a table stopped or replaced
    const fields = tableSetting.kind === 'two-sided' ? ['k_lower', 'k_upper'] : [tableSetting.kind === 'upper' ? 'k_upper' : 'k_lower'];
    batch.answers.forEach((answer, i) => {
      const index = batch.from + i;
      const cell = tableCells[index];
      cell.answer = answer;
      const td = document.createElement('td');
      td.dataset.n = String(cell.n);
      td.dataset.sigma = String(cell.sigma);
      if (answer.error) {
        td.textContent = answer.error;
        td.classList.add('failed');
      } else {
        const bad = answer.status !== 'ok';
        td.dataset.status = answer.status;
        fields.forEach((f, j) => {
          if (j > 0) td.append(' / ');
          td.append(valueElement(f, answer[f], (bad ? '⚠ ' : '') + show6(answer[f])));
        });
        if (bad) { td.classList.add('failed'); td.title = 'search failed: not to be trusted'; }
      }
      tableRow(Math.floor(index / tableSetting.ns.length)).append(td);
    });
    tableDone += batch.answers.length;
    $('table-progress').value = tableDone;
    tableState(`${tableDone} of ${tableCells.length} cells`, 'busy');
    $('table-copy').disabled = false;
    $('table-download').disabled = false;
    if (tableDone === tableCells.length) {
      stopTable(null);
      const failed = tableCells.filter((c) => c.answer.status && c.answer.status !== 'ok').length;
      tableState(`${tableDone} cells` + (failed ? `; ⚠ ${failed} searches failed (marked)` : ''), 'done');
      return;
    }
    // Batches of about a quarter of a second of the Worker's time; after two seconds, a table
    // that would take more than about a minute in all is refused.
    const elapsed = performance.now() - tableStarted;
    const perCell = (performance.now() - batch.sent) / Math.max(1, batch.answers.length);
    tableBatch = Math.max(1, Math.min(500, Math.round(250 / Math.max(perCell, 0.01))));
    if (elapsed > 2000 && (elapsed / tableDone) * tableCells.length > tableMinutesMs * 1.5) {
      stopTable(null);
      refuseTable(`Stopped after ${tableDone} of ${tableCells.length} cells: the whole table would ` +
        'take this page well over a minute.', tableSetting.kind, tableSetting.confidence);
      return;
    }
    sendBatch(tableRun);
  }

  function tableCsv() {
    const lines = ['confidence,kind,sigma,n,nu,gammasquared,k_lower,k_upper,status'];
    for (const c of tableCells) {
      if (!c.answer) continue;
      const a = c.answer;
      lines.push([tableSetting.confidence, tableSetting.kind, c.sigma, c.n, full(a.nu), full(a.gammasquared),
        a.error ? '' : full(a.k_lower), a.error ? '' : full(a.k_upper), a.error ? csvCell(a.error) : a.status].join(','));
    }
    return lines.join('\n') + '\n';
  }

  $('table-start').addEventListener('click', startTable);
  $('table-stop').addEventListener('click', () => stopTable(`Stopped after ${tableDone} of ${tableCells.length} cells.`));
  $('table-copy').addEventListener('click', () => copyText(tableCsv(), 'Table copied as CSV.', $('table-state')));
  $('table-download').addEventListener('click', () => download('lvlim-table.csv', 'text/csv', tableCsv()));

  // ---- Start ---------------------------------------------------------------------------------

  ready.then(() => {
    calculator = makeEngine(onCalculatorAnswer, (text) => { ++latest; showFailure(text); tableReadFailed(text); });
    calculator.warm();
    selectTab(readUrl(), false);
    if (urlNote) { $('state').textContent = urlNote; $('state').dataset.state = 'idle'; }
  }, (error) => {
    engineBroken = `The engine could not be loaded: ${error.message}.`;
    selectTab(readUrl(), false);
    showFailure(engineBroken);
  });
})();
