// The page of one drive run, or of the sets of a comparison: the run's data
// (written by drive into #run-data) in, uPlot's configuration and the tables
// out. Three charts share the cursor and the zoom: speed, limit and gradient
// with the interventions and events; the notches; the cab strip.
(() => {
  'use strict';
  const run = JSON.parse(document.getElementById('run-data').textContent);
  const col = Object.fromEntries(run.columns.map((name, i) => [name, i]));
  const setColours = ['#1d4ed8', '#0891b2', '#a21caf', '#65a30d', '#ea580c'];
  const modeColours = ['#e5e7eb', '#2563eb', '#16a34a', '#d97706'];
  const cutOutColour = '#6b7280';
  const stripRows = ['mode', 'brake lamp', 'emergency lamp', 'limit shown']
    .concat(run.soundIndex.map((n) => `sound ${n} start`));
  const stripRowPx = 13;
  let axis = run.axis;
  let level = 0;
  const shown = run.sets.map(() => true);
  const history = [];
  const report = { run, charts: [], drawMs: null, history };
  window.report = report;

  const el = (tag, props = {}, ...kids) => {
    const node = Object.assign(document.createElement(tag), props);
    kids.flat().forEach((kid) => node.append(kid));
    return node;
  };
  const xCol = () => (axis === 'time' ? col.t : col.m);
  const unit = () => (axis === 'time' ? 's' : 'm');
  const colour = (k) => setColours[k % setColours.length];
  const clampNotch = (v) => Math.max(-run.deepestBrake, Math.min(run.highestPower, v));

  // The first index whose value is not below x, in a column rising along the run.
  const lowerBound = (xs, x) => {
    let lo = 0;
    let hi = xs.length;
    while (lo < hi) {
      const mid = (lo + hi) >> 1;
      if (xs[mid] < x) lo = mid + 1;
      else hi = mid;
    }
    return lo;
  };
  const nearest = (xs, x) => {
    const i = Math.min(lowerBound(xs, x), xs.length - 1);
    return i > 0 && Math.abs(xs[i - 1] - x) <= Math.abs(xs[i] - x) ? i - 1 : i;
  };

  // The level to draw a range with: the coarsest that still gives two points a pixel.
  const levelFor = (min, max, px) => {
    const levels = run.sets[0].levels;
    for (let k = levels.length - 1; k > 0; --k) {
      const xs = levels[k].data[xCol()];
      if (lowerBound(xs, max) - lowerBound(xs, min) >= 2 * px) return k;
    }
    return 0;
  };
  const data = (k, lv = level) => run.sets[k].levels[lv].data;

  // Per chart, each set's series as columns beside the axis; a comparison joins them.
  const joined = {};
  const chartData = (which) => {
    const key = `${which}:${level}:${axis}`;
    if (joined[key]) return joined[key];
    const tables = run.sets.map((set, k) => {
      const d = data(k);
      const x = d[xCol()];
      if (which === 0) return [x, d[col.v], d[col.limit]].concat(k === 0 ? [d[col.gradient]] : []);
      if (which === 1) {
        return [x, d[col.driverPower].map((p, i) => clampNotch(p - d[col.driverBrake][i])),
          d[col.power].map((p, i) => clampNotch(p - d[col.brake][i]))];
      }
      return [x, d[col.limit]];
    });
    joined[key] = tables.length === 1 ? tables[0] : uPlot.join(tables);
    return joined[key];
  };

  // What the readout shows of a set at its point i, named as trace.csv names it.
  const readoutOf = (k, i) => {
    const d = data(k);
    const on = (c) => (d[col[c]][i] ? '1' : '0');
    const started = (n) => (d[col[`sound${n}`]][i] ? 'start' : '');
    const values = {
      time_s: d[col.t][i].toFixed(4),
      position_m: d[col.m][i].toFixed(3),
      speed_kmh: d[col.v][i].toFixed(3),
      limit_kmh: String(d[col.limit][i]),
      gradient_permille: String(Number(d[col.gradient][i].toPrecision(6))),
      driver_brake: String(d[col.driverBrake][i]),
      driver_power: String(d[col.driverPower][i]),
      brake: String(d[col.brake][i]),
      power: String(d[col.power][i]),
      intervention: ['', 'service', 'emergency'][d[col.acting][i]],
      mode: run.modeNames[d[col.mode][i]],
      cut_out: on('cutOut'),
      brake_lamp: on('brakeLamp'),
      emergency_lamp: on('emergencyLamp'),
    };
    run.soundIndex.forEach((n) => { values[`sound_${n}`] = started(n); });
    return values;
  };
  const readoutLabels = {
    time_s: ['', ' s'], position_m: ['', ' m'], speed_kmh: ['speed ', ' km/h'],
    limit_kmh: ['limit ', ' km/h'], gradient_permille: ['gradient ', ' \u2030'],
    driver_brake: ['driver B', ''], driver_power: ['P', ''], brake: ['applied B', ''],
    power: ['P', ''], intervention: ['', ''], mode: ['mode ', ''], cut_out: ['cut out ', ''],
    brake_lamp: ['brake lamp ', ''], emergency_lamp: ['emergency lamp ', ''],
  };
  run.soundIndex.forEach((n) => { readoutLabels[`sound_${n}`] = [`sound ${n} `, '']; });

  const valueSpan = (name, value) => {
    const span = el('span', { className: 'value', textContent: value });
    span.dataset.col = name;
    return span;
  };
  const readout = el('div', { id: 'readout', className: 'readout' });
  const showReadout = (x) => {
    readout.replaceChildren(...run.sets.map((set, k) => {
      const xs = data(k)[xCol()];
      const values = readoutOf(k, nearest(xs, x));
      return el('div', { className: 'readout-set' },
        el('b', { style: `color:${colour(k)}` }, set.name || 'run'),
        Object.entries(values).map(([name, value]) => el('span', {},
          readoutLabels[name][0], valueSpan(name, value),
          readoutLabels[name][1])));
    }));
  };

  // Bands and events, on the main chart, in the chart's pixels.
  const bandsOf = (k) => run.sets[k].bands.map(([t0, t1, m0, m1, kind, label, text]) => (
    { from: axis === 'time' ? t0 : Math.min(m0, m1), to: axis === 'time' ? t1 : Math.max(m0, m1),
      kind, label, text }));
  const eventsOf = (k) => run.sets[k].events.map(([t, m, v, what, label]) => (
    { at: axis === 'time' ? t : m, text: label ? `${label}: ${what}` : what }));

  // Draws on the chart's canvas with its labels' font, and restores it after.
  const withText = (u, draw) => {
    const { ctx } = u;
    const dpr = devicePixelRatio;
    ctx.save();
    ctx.font = `${11 * dpr}px sans-serif`;
    ctx.textAlign = 'left';
    ctx.textBaseline = 'alphabetic';
    draw(ctx, u.bbox.top, u.bbox.height, dpr);
    ctx.restore();
  };

  // Beneath the series, so that the speed stays in sight through a long brake.
  const drawBands = (u) => withText(u, (ctx, top, height, dpr) => {
    run.sets.forEach((set, k) => {
      if (!shown[k]) return;
      bandsOf(k).forEach((b) => {
        const x0 = u.valToPos(b.from, 'x', true);
        const x1 = Math.max(u.valToPos(b.to, 'x', true), x0 + 2 * dpr);
        if (x1 < u.bbox.left || x0 > u.bbox.left + u.bbox.width) return;
        ctx.fillStyle = b.kind === 2 ? 'rgba(220,38,38,0.16)' : 'rgba(245,158,11,0.18)';
        ctx.fillRect(x0, top + k * 3 * dpr, x1 - x0, height);
        // The whole label, else what it began as, else none: the hover has it all.
        const label = [b.label, b.label.split(', then')[0]]
          .find((text) => ctx.measureText(text).width + 6 * dpr < x1 - x0);
        if (label) {
          ctx.fillStyle = b.kind === 2 ? '#b91c1c' : '#b45309';
          ctx.fillText(label, x0 + 3 * dpr, top + (20 + 12 * k) * dpr);
        }
      });
    });
  });

  // Events: a mark at the top each, a line down and a label where there is room.
  const drawEvents = (u) => withText(u, (ctx, top, height, dpr) => {
    const marks = eventsOf(0).map((e) => ({ ...e, x: u.valToPos(e.at, 'x', true) }))
      .filter((e) => e.x >= u.bbox.left && e.x <= u.bbox.left + u.bbox.width);
    const lines = marks.length * 8 * dpr < u.bbox.width;
    marks.forEach((e, i) => {
      if (lines) {
        ctx.strokeStyle = '#6b7280';
        ctx.setLineDash([3 * dpr, 3 * dpr]);
        ctx.beginPath();
        ctx.moveTo(e.x, top);
        ctx.lineTo(e.x, top + height);
        ctx.stroke();
        ctx.setLineDash([]);
      }
      ctx.fillStyle = '#374151';
      ctx.beginPath();
      ctx.moveTo(e.x - 4 * dpr, top);
      ctx.lineTo(e.x + 4 * dpr, top);
      ctx.lineTo(e.x, top + 7 * dpr);
      ctx.fill();
      const room = (i + 1 < marks.length ? marks[i + 1].x : u.bbox.left + u.bbox.width) - e.x;
      if (ctx.measureText(e.text).width + 8 * dpr < room) {
        ctx.fillText(e.text, e.x + 5 * dpr, top + height - 6 * dpr);
      }
    });
  });

  // The cab strip: per set, a row each for the mode, the lamps, the limit shown and the sounds.
  const drawStrip = (u) => {
    const { ctx } = u;
    const dpr = devicePixelRatio;
    const row = stripRowPx * dpr;
    ctx.save();
    ctx.font = `${10 * dpr}px sans-serif`;
    ctx.textAlign = 'left';
    ctx.textBaseline = 'alphabetic';
    let top = u.bbox.top;
    run.sets.forEach((set, k) => {
      if (!shown[k]) { top += row * stripRows.length; return; }
      const d = data(k);
      const xs = d[xCol()];
      const [min, max] = [u.scales.x.min, u.scales.x.max];
      const i0 = Math.max(0, lowerBound(xs, min) - 1);
      const i1 = Math.min(xs.length, lowerBound(xs, max) + 1);
      const X = (i) => u.valToPos(xs[i], 'x', true);
      // Runs of equal value, from point i to the next change; each at least a pixel wide.
      const runs = (values, paint) => {
        for (let i = i0; i < i1;) {
          let j = i + 1;
          while (j < i1 && values(j) === values(i)) ++j;
          const x0 = X(i);
          paint(values(i), x0, Math.max((j < xs.length ? X(j) : X(j - 1)) - x0, dpr), i);
          i = j;
        }
      };
      runs((i) => (d[col.cutOut][i] ? -1 : d[col.mode][i]), (v, x, w) => {
        ctx.fillStyle = v < 0 ? cutOutColour : modeColours[v];
        ctx.fillRect(x, top + 2 * dpr, w, row - 4 * dpr);
      });
      [[col.brakeLamp, '#f59e0b'], [col.emergencyLamp, '#dc2626']].forEach(([c, fill], r) => {
        runs((i) => d[c][i], (v, x, w) => {
          if (!v) return;
          ctx.fillStyle = fill;
          ctx.fillRect(x, top + (r + 1) * row + 2 * dpr, w, row - 4 * dpr);
        });
      });
      // The limit shown, each run labelled where it has room beside the label
      // before; the labels after every run, so that none is painted over.
      let labelEnd = u.bbox.left;
      const labels = [];
      runs((i) => d[col.limit][i], (v, x, w) => {
        ctx.fillStyle = '#fde68a';
        ctx.fillRect(x, top + 3 * row + 2 * dpr, Math.max(w - dpr, dpr), row - 4 * dpr);
        const at = Math.max(x, labelEnd);
        const width = ctx.measureText(String(v)).width + 4 * dpr;
        if (at + width <= Math.min(x + w, u.bbox.left + u.bbox.width)) {
          labels.push([String(v), at + 2 * dpr]);
          labelEnd = at + width;
        }
      });
      ctx.fillStyle = '#111827';
      labels.forEach(([text, x]) => ctx.fillText(text, x, top + 4 * row - 3 * dpr));
      run.soundIndex.forEach((n, s) => {
        const c = col[`sound${n}`];
        ctx.fillStyle = colour(k);
        for (let i = i0; i < i1; ++i) {
          if (d[c][i]) ctx.fillRect(X(i) - dpr, top + (4 + s) * row + 2 * dpr, 2 * dpr, row - 4 * dpr);
        }
      });
      ctx.fillStyle = '#374151';
      stripRows.forEach((name, r) => {
        ctx.fillText(`${run.sets.length > 1 ? `${k + 1} ` : ''}${name}`, 4 * dpr,
          top + (r + 1) * row - 3 * dpr);
      });
      top += row * stripRows.length;
    });
    ctx.restore();
  };

  // Keeps the charts on one range, the level fitting it, and the way back: each
  // zoom remembers the range before it, a burst of wheel turns once.
  let syncing = false;
  let goingBack = false;
  let lastPush = 0;
  let current = null;
  const onScale = (u, key) => {
    if (key !== 'x' || syncing) return;
    syncing = true;
    const { min, max } = u.scales.x;
    if (current && !goingBack && performance.now() - lastPush > 400) history.push(current);
    lastPush = goingBack ? 0 : performance.now();
    current = [min, max];
    const want = levelFor(min, max, u.bbox.width / devicePixelRatio);
    if (want !== level) {
      level = want;
      report.charts.forEach((c, i) => c.setData(chartData(i), false));
    }
    report.charts.forEach((c) => { if (c !== u) c.setScale('x', { min, max }); });
    syncing = false;
    showResolution();
  };
  const zoomTo = (min, max, remember = true) => {
    goingBack = !remember;
    report.charts[0].setScale('x', { min, max });
    goingBack = false;
  };
  const extent = () => {
    let [lo, hi] = [Infinity, -Infinity];
    run.sets.forEach((set, k) => {
      data(k, set.levels.length - 1)[xCol()].forEach((x) => { lo = Math.min(lo, x); hi = Math.max(hi, x); });
    });
    return hi > lo ? [lo, hi] : [lo - 1, hi + 1];
  };

  // From a time range of set k to the axis shown.
  const timeRange = (k, t0, t1) => {
    if (axis === 'time') return [t0, t1];
    const d = data(k, 0);
    const i0 = Math.min(lowerBound(d[col.t], t0), d[col.t].length - 1);
    const i1 = Math.max(lowerBound(d[col.t], t1), i0 + 1);
    const ms = d[col.m].slice(i0, i1 + 1);
    return [Math.min(...ms), Math.max(...ms)];
  };
  const zoomToTimes = (k, t0, t1) => {
    const [a, b] = timeRange(k, t0, t1);
    const pad = Math.max((b - a) * 0.15, axis === 'time' ? 2 : 20);
    zoomTo(a - pad, b + pad);
  };

  const notchText = (v) => (v > 0 ? `P${v}` : v < 0 ? (-v >= run.emergencyNotch ? 'EB' : `B${-v}`) : 'N');
  const width = () => Math.max(800, document.documentElement.clientWidth - 48);
  const base = (height, series, axes, scales, hooks) => ({
    width: width(), height, series: [{}].concat(series), axes, scales: { x: { time: false }, ...scales },
    legend: { show: false },
    cursor: { sync: { key: 'run' }, drag: { x: true, y: false }, points: { show: false } },
    hooks: { setScale: [onScale], ...hooks },
  });
  const xAxis = (show) => ({ show, label: show ? (axis === 'time' ? 'time (s)' : 'position (m)') : '', size: show ? 50 : 0 });
  const line = (label, stroke, scale, more = {}) => ({ label, stroke, scale, width: 1.6, spanGaps: true, points: { show: false }, ...more });

  const leftPx = 120;
  const rightPx = 60;
  const spacer = () => ({ scale: 'x', side: 1, size: rightPx, label: ' ', values: () => [], grid: { show: false }, ticks: { show: false } });
  const notchSplits = () => {
    const step = Math.max(1, Math.ceil((run.deepestBrake + run.highestPower) / 8));
    const splits = [];
    for (let v = -run.deepestBrake; v <= run.highestPower; ++v) if (v % step === 0 || v === -run.deepestBrake) splits.push(v);
    return splits;
  };
  const charts = () => {
    const sets = run.sets.map((set) => set.name || 'run');
    const main = base(400,
      run.sets.flatMap((set, k) => [
        line(`speed ${sets[k]}`, colour(k), 'kmh', { width: 2 }),
        line(`limit ${sets[k]}`, k === 0 ? '#dc2626' : colour(k), 'kmh', { dash: [6, 4], width: 1.4 }),
      ].concat(k === 0 ? [line('gradient', '#9ca3af', 'grad', { fill: 'rgba(156,163,175,0.15)', width: 1 })] : [])),
      [xAxis(false), { label: 'km/h', scale: 'kmh', size: leftPx }, { label: 'gradient \u2030', scale: 'grad', side: 1, size: rightPx, grid: { show: false } }],
      { kmh: { range: (u, lo, hi) => [Math.min(0, lo), Math.max(10, hi * 1.08)] },
        grad: { range: (u, lo, hi) => { const m = Math.max(5, Math.abs(lo), Math.abs(hi)) * 1.2; return [-m, m]; } } },
      { drawClear: [drawBands], draw: [drawEvents, () => { if (report.drawMs === null) report.drawMs = Math.round(performance.now()); }],
        setCursor: [(u) => { if (u.cursor.idx != null) { showReadout(u.data[0][u.cursor.idx]); hover(u); } }] });
    const notches = base(170,
      run.sets.flatMap((set, k) => [
        line(`driver's notch ${sets[k]}`, '#9ca3af', 'notch', { dash: [4, 3], width: 1.2, paths: uPlot.paths.stepped({ align: 1 }) }),
        line(`applied notch ${sets[k]}`, colour(k), 'notch', { paths: uPlot.paths.stepped({ align: 1 }) }),
      ]),
      [xAxis(false), { label: 'notch', scale: 'notch', size: leftPx, values: (u, vs) => vs.map(notchText), splits: notchSplits }, spacer()],
      { notch: { range: () => [-run.deepestBrake - 0.5, run.highestPower + 0.5] } });
    const strip = base(stripRowPx * stripRows.length * run.sets.length + 80,
      [{ label: 'limit shown', scale: 'strip', paths: () => null, points: { show: false } }],
      [xAxis(true), { scale: 'strip', label: ' ', values: () => [], size: leftPx, grid: { show: false }, ticks: { show: false } }, spacer()],
      { strip: { range: () => [0, 1] } }, { draw: [drawStrip] });
    return [main, notches, strip];
  };

  const hoverBox = el('div', { className: 'hover' });
  const hover = (u) => {
    const x = u.cursor.left;
    if (x == null || x < 0) { hoverBox.style.display = 'none'; return; }
    const at = u.posToVal(x, 'x');
    const slack = (u.scales.x.max - u.scales.x.min) * 6 / u.bbox.width * devicePixelRatio;
    const lines = [];
    run.sets.forEach((set, k) => {
      if (!shown[k]) return;
      bandsOf(k).forEach((b) => { if (at >= b.from - slack && at <= b.to + slack) lines.push(`${set.name ? `${set.name}: ` : ''}${b.kind === 2 ? 'emergency' : 'service'} brake: ${b.text}`); });
    });
    eventsOf(0).forEach((e) => { if (Math.abs(e.at - at) <= slack) lines.push(`event at ${e.at} ${unit()}: ${e.text}`); });
    hoverBox.textContent = lines.join('\n');
    hoverBox.style.display = lines.length ? 'block' : 'none';
    hoverBox.style.left = `${Math.min(x + 70, u.bbox.width / devicePixelRatio - 200)}px`;
  };

  const resolution = el('span', { id: 'resolution' });
  const showResolution = () => {
    const lv = run.sets[0].levels[level];
    resolution.textContent = lv.framesPerBucket === 1
      ? `every frame (${run.sets[0].frames} frames at ${Math.round(1 / run.frameS)} Hz)`
      : `lowest and highest of every ${lv.framesPerBucket} frames (${(lv.framesPerBucket * run.frameS).toFixed(2)} s) at this zoom; zoom in for finer`;
  };

  const chartBox = el('div', { className: 'charts' });
  const build = () => {
    report.charts.forEach((c) => c.destroy());
    chartBox.replaceChildren();
    current = null;
    const [lo, hi] = extent();
    level = levelFor(lo, hi, width());
    report.charts = charts().map((opts, i) => new uPlot(opts, chartData(i), chartBox));
    report.charts.forEach((u) => u.over.addEventListener('wheel', (e) => {
      e.preventDefault();
      const { min, max } = u.scales.x;
      const at = u.posToVal(e.offsetX, 'x');
      const f = e.deltaY < 0 ? 0.7 : 1 / 0.7;
      zoomTo(at - (at - min) * f, at + (max - at) * f);
    }));
    report.charts[0].over.parentNode.append(hoverBox);
    showResolution();
  };

  // Tables: each a caption, a head and rows; a row with a range zooms the chart to it.
  const parseCsv = (text) => {
    const rows = [];
    let row = [];
    let field = '';
    let quoted = false;
    for (let i = 0; i < text.length; ++i) {
      const c = text[i];
      if (quoted) {
        if (c === '"' && text[i + 1] === '"') { field += c; ++i; } else if (c === '"') quoted = false; else field += c;
      } else if (c === '"') quoted = true;
      else if (c === ',') { row.push(field); field = ''; } else if (c === '\n') { row.push(field); rows.push(row); row = []; field = ''; } else if (c !== '\r') field += c;
    }
    return rows;
  };
  const table = (name, caption, head, rows, rangeOf) => {
    const t = el('table', { className: `table-${name}` }, el('caption', { textContent: caption }),
      el('thead', {}, el('tr', {}, head.map((h) => el('th', { textContent: h })))));
    const body = el('tbody');
    rows.forEach((cells, i) => {
      const tr = el('tr', {}, cells.map((c) => el('td', { textContent: c })));
      const range = rangeOf && rangeOf(cells, i);
      if (range) {
        tr.className = 'zooms';
        tr.title = 'click: zoom the chart to it';
        tr.addEventListener('click', range);
      }
      body.append(tr);
    });
    t.append(body);
    return t;
  };
  const tablesOf = (set, k) => {
    const last = set.levels[0].data[col.t].at(-1);
    const [iHead, ...iRows] = parseCsv(set.interventions);
    const [bHead, ...bRows] = parseCsv(set.braking);
    const at = (head, name) => head.indexOf(name);
    const trim = (head, rows) => [head.slice(1), rows.map((r) => r.slice(1))];  // the set's own: no set column
    const [ih, ir] = trim(iHead, iRows);
    const [bh, br] = trim(bHead, bRows);
    const num = (v, fallback) => (v === '' ? fallback : Number(v));
    // A long run's page lists the first rows; the CSV file has them all.
    const plural = (n, word) => `${n} ${word}${n === 1 ? '' : 's'}`;
    const more = (count, file) => (count ? [[`... ${count} more in ${file}`]] : []);
    return el('div', { className: 'set-tables' },
      el('h2', { style: `color:${colour(k)}` }, set.name || 'The run'),
      table('header', 'Run', ['', ''], set.header.concat([['options from', set.optionsFrom]])),
      table('options', 'Options as the plug-in read them', ['option'], set.options.map((o) => [o])),
      table('interventions', `Interventions: ${ir.length + set.interventionsLeftOut}`, ih,
        ir.concat(more(set.interventionsLeftOut, 'interventions.csv')),
        (r) => r.length > 1 && (() => zoomToTimes(k, Number(r[at(ih, 'start_s')]), num(r[at(ih, 'end_s')], last)))),
      table('braking', `Braking: ${plural(br.length + set.brakingLeftOut, 'drop')} of the limit`, bh,
        br.concat(more(set.brakingLeftOut, 'braking.csv')),
        (r) => r.length > 1 && (() => { const t = Number(r[at(bh, 'time_s')]); zoomToTimes(k, t, t + Number(r[at(bh, 'in_force_s')])); })),
      table('warnings', `Warnings: ${set.warnings.length + set.warningsLeftOut}`, ['warning'],
        set.warnings.map((w) => [w]).concat(set.warningsLeftOut ? [[`... ${set.warningsLeftOut} more`]] : [])),
      table('events', `Events fired: ${set.events.length + set.eventsLeftOut}`, ['time s', 'position m', 'km/h', 'what', 'label', 'note'],
        set.events.map((e) => e.map(String)),
        (r) => () => zoomToTimes(k, Number(r[0]) - 5, Number(r[0]) + 5)));
  };

  const savePng = () => {
    const dpr = devicePixelRatio;
    const canvases = report.charts.map((u) => u.ctx.canvas);
    const out = el('canvas', { width: canvases[0].width, height: canvases.reduce((h, c) => h + c.height, 0) + 28 * dpr });
    const ctx = out.getContext('2d');
    ctx.fillStyle = '#fff';
    ctx.fillRect(0, 0, out.width, out.height);
    ctx.fillStyle = '#111827';
    ctx.font = `${15 * dpr}px sans-serif`;
    ctx.fillText(`${run.title}${run.sets.length > 1 ? `: ${run.sets.map((s, k) => `${k + 1} ${s.name}`).join(', ')}` : ''}`, 8 * dpr, 19 * dpr);
    let y = 28 * dpr;
    canvases.forEach((c) => { ctx.drawImage(c, 0, y); y += c.height; });
    el('a', { href: out.toDataURL('image/png'), download: 'chart.png' }).click();
  };

  const axisSwitch = ['time', 'distance'].map((name) => el('label', {},
    el('input', { type: 'radio', name: 'axis', value: name, checked: name === axis, onchange: () => {
      const [lo, hi] = [report.charts[0].scales.x.min, report.charts[0].scales.x.max];
      const d = data(0);
      const i0 = lowerBound(d[xCol()], lo);
      const i1 = Math.max(lowerBound(d[xCol()], hi), i0 + 1);
      const ts = [d[col.t][Math.min(i0, d[col.t].length - 1)], d[col.t][Math.min(i1, d[col.t].length - 1)]];
      axis = name;
      history.length = 0;
      build();
      const [a, b] = timeRange(0, ts[0], ts[1]);
      if (b > a) zoomTo(a, b, false);
    } }), ` ${name}`));
  const legend = run.sets.map((set, k) => el('button', {
    className: 'set', style: `border-color:${colour(k)};color:${colour(k)}`,
    textContent: `${run.sets.length > 1 ? `${k + 1} ` : ''}${set.name || 'this run'}`,
    onclick: (e) => {
      shown[k] = !shown[k];
      e.target.classList.toggle('off', !shown[k]);
      report.charts.forEach((u) => u.series.forEach((s, i) => {
        if (i > 0 && s.label.endsWith(` ${set.name || 'run'}`)) u.setSeries(i, { show: shown[k] });
      }));
      report.charts.forEach((u) => u.redraw(false));
    },
  }));

  document.title = `${run.title} - drive`;
  document.body.append(
    el('h1', { textContent: run.title }),
    run.description ? el('p', { textContent: run.description }) : '',
    el('div', { className: 'controls' },
      el('span', {}, 'axis:', axisSwitch),
      el('button', { textContent: 'back', onclick: () => { const r = history.pop(); if (r) zoomTo(r[0], r[1], false); } }),
      el('button', { textContent: 'whole run', onclick: () => { const [lo, hi] = extent(); zoomTo(lo, hi); } }),
      el('button', { textContent: 'save as PNG', onclick: savePng }),
      el('span', { className: 'legend' }, legend),
      el('span', { className: 'hint' }, 'drag or wheel to zoom; click a table row to go there')),
    readout, chartBox,
    el('p', { className: 'status' }, 'shown: ', resolution, el('span', { id: 'drawn' })),
    el('div', { className: 'tables' }, run.sets.map(tablesOf)));
  build();
  const [lo, hi] = extent();
  if (run.from !== null || run.to !== null) zoomTo(run.from ?? lo, run.to ?? hi, false);
  showReadout(run.from ?? lo);
  requestAnimationFrame(() => {
    document.getElementById('drawn').textContent = `; first drawn ${report.drawMs} ms after the page began loading`;
  });
  report.zoomTo = zoomTo;
  report.level = () => level;
  report.readoutOf = readoutOf;
})();
