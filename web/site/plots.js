// The page's two pictures as self-contained SVG text: a strip plot of the measurements on a log
// axis with the estimate and the limits, and a normal Q-Q plot of the logs.
'use strict';

const Plots = (() => {
  // Drawn at the width they are shown at (at most 640 units), so that the text is 13 px.
  let width = 640;
  const fontSize = 13;
  // Labels for ticks: the fewest significant digits (at least 3) that tell every tick apart.
  function labels(ticks) {
    for (let digits = 3; digits <= 17; ++digits) {
      const texts = ticks.map((t) => Number(t.toPrecision(digits)).toString());
      if (new Set(texts).size === texts.length) return texts;
    }
    return ticks.map(String);
  }
  const esc = (s) => String(s).replace(/&/g, '&amp;').replace(/</g, '&lt;').replace(/>/g, '&gt;');

  function svg(height, title, body) {
    return `<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 ${width} ${height}" ` +
      `role="img" aria-label="${esc(title)}" font-family="sans-serif" font-size="${fontSize}">` +
      `<title>${esc(title)}</title><rect width="${width}" height="${height}" fill="#fff"/>` +
      body + '</svg>';
  }

  // Ticks at 1, 2 and 5 times the powers of ten from exp(l0) to exp(l1) (log axis), thinned
  // when many. The range is given by its logarithms: near the ends of the doubles its ends
  // themselves may overflow to Infinity or underflow to 0, where no tick is to be had.
  function logTicks(l0, l1) {
    const ticks = [];
    for (let e = Math.floor(l0 / Math.LN10); e <= Math.ceil(l1 / Math.LN10); ++e) {
      for (const m of [1, 2, 5]) {
        const t = m * Math.pow(10, e);
        if (Math.log(t) >= l0 && Math.log(t) <= l1) ticks.push(t);
      }
    }
    if (ticks.length > 12) {
      // The powers of ten; over very many decades, every so many of them.
      const decades = ticks.filter((t) => Math.abs(Math.log10(t) % 1) < 1e-9);
      const every = Math.ceil(decades.length / 10);
      return decades.filter((t, i) => i % every === 0);
    }
    // A narrow range holds too few of them: evenly spaced round values instead.
    return ticks.length >= 3 ? ticks : linearTicks(Math.exp(l0), Math.exp(l1), 4).filter((t) => t > 0 && isFinite(t));
  }

  function linearTicks(lo, hi, count) {
    const raw = (hi - lo) / count;
    const mag = Math.pow(10, Math.floor(Math.log10(raw)));
    const step = [1, 2, 5, 10].map((m) => m * mag).find((s) => s >= raw);
    const ticks = [];
    for (let t = Math.ceil(lo / step) * step; t <= hi + step * 1e-9; t += step) ticks.push(t);
    return ticks;
  }

  // marks: [{value, label, colour, dash}]
  function strip(plot, marks, shownWidth) {
    width = Math.round(Math.max(300, Math.min(640, shownWidth || 640)));
    const height = 200;
    const left = 20;
    const right = width - 20;
    const values = plot.points.map((p) => p.x);
    const all = values.concat(marks.map((m) => m.value)).filter((v) => v > 0 && isFinite(v));
    let lo = Math.min(...all);
    let hi = Math.max(...all);
    if (lo === hi) { lo /= 2; hi *= 2; }
    const pad = (Math.log(hi) - Math.log(lo)) * 0.04;
    const l0 = Math.log(lo) - pad;
    const l1 = Math.log(hi) + pad;
    const sx = (v) => left + ((Math.log(v) - l0) / (l1 - l0)) * (right - left);
    const axisY = 150;
    let body = `<line x1="${left}" y1="${axisY}" x2="${right}" y2="${axisY}" stroke="#333"/>`;
    const ticks = logTicks(l0, l1);
    labels(ticks).forEach((text, i) => {
      const x = sx(ticks[i]).toFixed(1);
      body += `<line x1="${x}" y1="${axisY}" x2="${x}" y2="${axisY + 5}" stroke="#333"/>` +
        `<text class="tick" x="${x}" y="${axisY + 18}" text-anchor="middle" fill="#222">${text}</text>`;
    });
    // Points jittered up and down by a fixed pattern, so the picture is the same every time.
    plot.points.forEach((p, i) => {
      const jitter = ((i * 37) % 29) / 28 - 0.5;
      body += `<circle cx="${sx(p.x).toFixed(1)}" cy="${(95 + jitter * 40).toFixed(1)}" r="3" ` +
        `fill="#0b4f9c" fill-opacity="0.55"/>`;
    });
    marks.forEach((m, i) => {
      if (!(m.value > 0 && isFinite(m.value))) return;
      const x = sx(m.value).toFixed(1);
      body += `<line x1="${x}" y1="55" x2="${x}" y2="${axisY}" stroke="${m.colour}" stroke-width="2"` +
        (m.dash ? ' stroke-dasharray="5 3"' : '') + '/>' +
        `<text x="${x}" y="${14 + 14 * (i % 3)}" text-anchor="middle" fill="${m.colour}">${esc(m.label)}</text>`;
    });
    const note = plot.shown < plot.n ? `${plot.shown} of ${plot.n} measurements shown (evenly spread order statistics)` : `${plot.n} measurements`;
    if (width < 560 && plot.shown < plot.n) {
      body += `<text x="${left}" y="${height - 24}" fill="#444">${esc(`${plot.shown} of ${plot.n} measurements shown`)}</text>` +
        `<text x="${left}" y="${height - 8}" fill="#444">(evenly spread order statistics); log axis</text>`;
    } else {
      body += `<text x="${left}" y="${height - 8}" fill="#444">${esc(note)}; log axis</text>`;
    }
    return svg(height, 'Strip plot of the measurements on a log axis', body);
  }

  function qq(plot, logMean, logSd, shownWidth) {
    width = Math.round(Math.max(300, Math.min(640, shownWidth || 640)));
    const height = Math.round(Math.min(360, width * 0.8));
    const left = 60;
    const right = width - 20;
    const top = 20;
    const bottom = height - 50;
    const zs = plot.points.map((p) => p.z);
    const ys = plot.points.map((p) => p.log);
    let z0 = Math.min(...zs); let z1 = Math.max(...zs);
    let y0 = Math.min(...ys); let y1 = Math.max(...ys);
    if (z0 === z1) { z0 -= 1; z1 += 1; }
    if (y0 === y1) { y0 -= 1; y1 += 1; }
    const zp = (z1 - z0) * 0.05; const yp = (y1 - y0) * 0.05;
    z0 -= zp; z1 += zp; y0 -= yp; y1 += yp;
    const sx = (z) => left + ((z - z0) / (z1 - z0)) * (right - left);
    const sy = (y) => bottom - ((y - y0) / (y1 - y0)) * (bottom - top);
    let body = `<rect class="frame" x="${left}" y="${top}" width="${right - left}" height="${bottom - top}" fill="none" stroke="#333"/>`;
    const zTicks = linearTicks(z0, z1, width < 500 ? 4 : 6);
    labels(zTicks).forEach((text, i) => {
      const x = sx(zTicks[i]).toFixed(1);
      body += `<line x1="${x}" y1="${bottom}" x2="${x}" y2="${bottom + 5}" stroke="#333"/>` +
        `<text class="tick x" x="${x}" y="${bottom + 18}" text-anchor="middle" fill="#222">${text}</text>`;
    });
    const yTicks = linearTicks(y0, y1, 6);
    labels(yTicks).forEach((text, i) => {
      const y = sy(yTicks[i]).toFixed(1);
      body += `<line x1="${left - 5}" y1="${y}" x2="${left}" y2="${y}" stroke="#333"/>` +
        `<text class="tick y" x="${left - 8}" y="${y}" dy="4" text-anchor="end" fill="#222">${text}</text>`;
    });
    // The line of a normal sample with the sample's own mean and standard deviation, drawn
    // only where it lies inside the frame.
    if (isFinite(logMean) && isFinite(logSd) && logSd > 0) {
      const from = Math.max(z0, (y0 - logMean) / logSd);
      const to = Math.min(z1, (y1 - logMean) / logSd);
      if (from < to) {
        body += `<line class="reference" x1="${sx(from).toFixed(1)}" y1="${sy(logMean + logSd * from).toFixed(1)}" ` +
          `x2="${sx(to).toFixed(1)}" y2="${sy(logMean + logSd * to).toFixed(1)}" stroke="#b5520b" ` +
          'stroke-width="2" stroke-dasharray="6 3"/>';
      }
    }
    plot.points.forEach((p) => {
      body += `<circle cx="${sx(p.z).toFixed(1)}" cy="${sy(p.log).toFixed(1)}" r="3" fill="#0b4f9c" fill-opacity="0.6"/>`;
    });
    body += `<text x="${(left + right) / 2}" y="${height - 12}" text-anchor="middle" fill="#222">normal quantile</text>` +
      `<text transform="translate(14 ${(top + bottom) / 2}) rotate(-90)" text-anchor="middle" fill="#222">log of the measurement</text>`;
    return svg(height, 'Normal Q-Q plot of the logs of the measurements', body);
  }

  // The power (or expected ratio) of each evaluated n on a log axis of n, the target as a
  // horizontal line and the sample size found as a vertical one.
  function curve(rows, goal, target, sampleSize, shownWidth) {
    width = Math.round(Math.max(300, Math.min(640, shownWidth || 640)));
    const height = 320;
    const left = 56;
    const right = width - 16;
    const top = 16;
    const bottom = height - 48;
    const field = goal === 'power' ? 'power' : 'expected_ratio';
    const points = rows.filter((r) => r[field] !== null && isFinite(r[field]));
    const ns = rows.map((r) => r.n);
    const n0 = Math.min(...ns);
    const n1 = Math.max(...ns);
    const values = points.map((r) => r[field]).concat([target]);
    let y0 = goal === 'power' ? 0 : Math.min(1, ...values);
    let y1 = goal === 'power' ? 1 : Math.max(...values);
    if (y0 === y1) { y0 -= 0.5; y1 += 0.5; }
    const l0 = Math.log(n0) - 0.03 * Math.log(n1 / n0 || 2);
    const l1 = Math.log(n1) + 0.03 * Math.log(n1 / n0 || 2);
    const sx = (n) => left + ((Math.log(n) - l0) / (l1 - l0)) * (right - left);
    const sy = (y) => bottom - ((y - y0) / (y1 - y0)) * (bottom - top);
    let body = `<rect class="frame" x="${left}" y="${top}" width="${right - left}" height="${bottom - top}" fill="none" stroke="#333"/>`;
    const xTicks = logTicks(l0, l1);
    labels(xTicks).forEach((text, i) => {
      const x = sx(xTicks[i]).toFixed(1);
      body += `<line x1="${x}" y1="${bottom}" x2="${x}" y2="${bottom + 5}" stroke="#333"/>` +
        `<text class="tick x" x="${x}" y="${bottom + 18}" text-anchor="middle" fill="#222">${text}</text>`;
    });
    const yTicks = linearTicks(y0, y1, 5);
    labels(yTicks).forEach((text, i) => {
      const y = sy(yTicks[i]).toFixed(1);
      body += `<line x1="${left - 5}" y1="${y}" x2="${left}" y2="${y}" stroke="#333"/>` +
        `<text class="tick y" x="${left - 8}" y="${y}" dy="4" text-anchor="end" fill="#222">${text}</text>`;
    });
    const ty = sy(target).toFixed(1);
    body += `<line class="target" x1="${left}" y1="${ty}" x2="${right}" y2="${ty}" stroke="#a4161a" stroke-width="2" stroke-dasharray="6 3"/>` +
      `<text x="${right - 4}" y="${Number(ty) - 6}" text-anchor="end" fill="#a4161a">target ${esc(String(target))}</text>`;
    if (sampleSize !== null) {
      const x = sx(sampleSize).toFixed(1);
      body += `<line class="sample-size" x1="${x}" y1="${top}" x2="${x}" y2="${bottom}" stroke="#1b7a1b" stroke-width="2"/>` +
        `<text x="${Number(x) + 4}" y="${top + 14}" fill="#1b7a1b">n = ${sampleSize}</text>`;
    }
    const path = points.map((r, i) => `${i ? 'L' : 'M'}${sx(r.n).toFixed(1)} ${sy(r[field]).toFixed(1)}`).join(' ');
    body += `<path d="${path}" fill="none" stroke="#0b4f9c" stroke-width="2"/>`;
    points.forEach((r) => {
      body += `<circle cx="${sx(r.n).toFixed(1)}" cy="${sy(r[field]).toFixed(1)}" r="3" fill="#0b4f9c"/>`;
    });
    body += `<text x="${(left + right) / 2}" y="${height - 10}" text-anchor="middle" fill="#222">number of measurements n (log axis)</text>` +
      `<text transform="translate(14 ${(top + bottom) / 2}) rotate(-90)" text-anchor="middle" fill="#222">${goal === 'power' ? 'power' : 'expected ratio'}</text>`;
    return svg(height, `The ${goal === 'power' ? 'power' : 'expected ratio'} against the number of measurements`, body);
  }

  return { strip, qq, curve };
})();
