// The station's page: one row per slot, kept live from the event stream.
//
// Every text from the station (device IDs, ports, reasons: whatever a
// charger sent) is put in with textContent, never as markup. Control
// requests carry the token as a Bearer header; the token is asked for once
// and kept in this tab's sessionStorage, never in a cookie.
'use strict';

const TOKEN_KEY = 'corvane-station-token';
const BUSY = new Set(['waiting', 'reading', 'upgrading', 'checking']);
const rows = new Map();  // slot name -> {tr, cells}
let source = null;
let pending = null;  // the control action waiting for a token
let recordsTimer = 0;

function $(id) { return document.getElementById(id); }

function cell(tr, className) {
  const td = document.createElement('td');
  td.className = className;
  tr.appendChild(td);
  return td;
}

function secondsText(seconds) {
  if (!(seconds > 0)) return '';
  if (seconds < 60) return seconds.toFixed(1) + ' s';
  const minutes = Math.floor(seconds / 60);
  return minutes + ' min ' + Math.round(seconds - minutes * 60) + ' s';
}

function versionsText(before, after) {
  if (before && after && before !== after) return before + ' \u2192 ' + after;
  return after || before || '';
}

function makeRow(slot) {
  const tr = document.createElement('tr');
  const cells = {};
  for (const name of ['slot', 'port', 'device', 'state', 'progress', 'versions', 'time', 'reason', 'control']) {
    cells[name] = cell(tr, name);
  }
  const bar = document.createElement('div');
  bar.className = 'bar';
  const fill = document.createElement('div');
  fill.className = 'fill';
  bar.appendChild(fill);
  const label = document.createElement('span');
  label.className = 'block';
  cells.progress.append(bar, label);
  cells.fill = fill;
  cells.block = label;
  const stop = document.createElement('button');
  stop.type = 'button';
  stop.className = 'stop danger';
  stop.textContent = 'Stop';
  stop.addEventListener('click', () => control('/api/slots/' + encodeURIComponent(slot) + '/stop', 'Stop ' + slot));
  cells.control.appendChild(stop);
  cells.stop = stop;
  $('slot-rows').appendChild(tr);
  const entry = { tr, cells };
  rows.set(slot, entry);
  $('no-slots').hidden = true;
  return entry;
}

function showRow(row) {
  const entry = rows.get(row.slot) || makeRow(row.slot);
  const c = entry.cells;
  const state = String(row.state || '');
  entry.tr.dataset.state = state;
  entry.tr.dataset.slot = row.slot;
  // A slot named by a long path shows its last part; the port column and
  // the tooltip have it whole.
  c.slot.textContent = String(row.slot).split('/').pop() || row.slot;
  c.slot.title = row.slot;
  c.port.textContent = row.port;
  c.device.textContent = row.deviceId;
  c.state.textContent = state;
  const blocks = Number(row.blocks) || 0;
  const block = Math.min(Number(row.block) || 0, blocks);
  c.fill.style.width = blocks > 0 ? (100 * block / blocks) + '%' : '0%';
  c.block.textContent = blocks > 0 ? 'block ' + block + ' of ' + blocks : '';
  c.versions.textContent = versionsText(row.before, row.after);
  c.time.textContent = secondsText(Number(row.seconds));
  c.reason.textContent = row.reason || '';
  c.stop.disabled = !BUSY.has(state);
}

// A whole list (a fresh start, a resync): rows of slots it lacks go.
function showAllRows(list) {
  const names = new Set(list.map((row) => row.slot));
  for (const [slot, entry] of rows) {
    if (!names.has(slot)) {
      entry.tr.remove();
      rows.delete(slot);
    }
  }
  for (const row of list) showRow(row);
  $('no-slots').hidden = rows.size > 0;
}

async function getJson(path) {
  const response = await fetch(path, { cache: 'no-store' });
  if (!response.ok) throw new Error(path + ': ' + response.status);
  return response.json();
}

async function refreshSlots() {
  try {
    showAllRows(await getJson('/api/slots'));
  } catch (e) { /* the stream's next event or reconnection brings it */ }
}

function today() {
  const d = new Date();
  const two = (n) => String(n).padStart(2, '0');
  return d.getFullYear() + '-' + two(d.getMonth() + 1) + '-' + two(d.getDate());
}

function recordRow(record) {
  const tr = document.createElement('tr');
  tr.dataset.outcome = record.outcome || '';
  const when = record.time ? new Date(record.time) : null;
  const texts = [
    when && !isNaN(when) ? when.toLocaleTimeString() : String(record.time || ''),
    record.deviceId, record.outcome, versionsText(record.before, record.after),
    record.port, record.reason,
  ];
  for (const text of texts) cell(tr, '').textContent = text || '';
  return tr;
}

async function refreshRecords() {
  try {
    const [records, tally] = await Promise.all([
      getJson('/api/records?limit=50&since=' + today()), getJson('/api/today')]);
    $('record-rows').replaceChildren(...records.map(recordRow));
    for (const name of ['upgraded', 'current', 'read', 'failed', 'unanswered']) {
      $('tally-' + name).textContent = String(Number(tally[name]) || 0);
    }
    showPaused(Boolean(tally.paused));
  } catch (e) { /* tried again at the next finished job */ }
}

function laterRecords() {
  clearTimeout(recordsTimer);
  recordsTimer = setTimeout(refreshRecords, 300);
}

function showPaused(paused) {
  $('paused').hidden = !paused;
  document.body.classList.toggle('is-paused', paused);
}

function showLink(live) {
  const link = $('link');
  link.textContent = live ? 'Live' : 'Reconnecting\u2026';
  link.classList.toggle('live', live);
}

function connect() {
  source = new EventSource('/api/events');
  source.addEventListener('open', () => {
    showLink(true);
    refreshSlots();
    refreshRecords();
  });
  source.addEventListener('error', () => {
    showLink(false);
    if (source.readyState === EventSource.CLOSED) {
      // The browser gives up on an answer that is no stream: start anew.
      setTimeout(connect, 2000);
    }
  });
  source.addEventListener('slot', (e) => {
    const row = JSON.parse(e.data);
    showRow(row);
    if (row.event === 'finished') laterRecords();
  });
  source.addEventListener('snapshot', (e) => showAllRows(JSON.parse(e.data)));
  source.addEventListener('station', (e) => showPaused(Boolean(JSON.parse(e.data).paused)));
}

function notice(text) {
  const p = $('notice');
  p.textContent = text;
  p.hidden = !text;
}

function askToken(action) {
  pending = action;
  $('token-form').hidden = false;
  $('token').focus();
}

async function control(path, what) {
  const token = sessionStorage.getItem(TOKEN_KEY);
  if (!token) {
    askToken(() => control(path, what));
    return;
  }
  let response;
  try {
    response = await fetch(path, { method: 'POST', headers: { Authorization: 'Bearer ' + token } });
  } catch (e) {
    notice(what + ': the station did not answer.');
    return;
  }
  if (response.status === 401) {
    sessionStorage.removeItem(TOKEN_KEY);
    notice('The token was not accepted.');
    askToken(() => control(path, what));
    return;
  }
  notice(response.ok ? what + ': done.' : what + ': refused (' + response.status + ').');
}

function init() {
  $('pause').addEventListener('click', () => control('/api/pause', 'Pause'));
  $('resume').addEventListener('click', () => control('/api/resume', 'Resume'));
  $('stop-all').addEventListener('click', () => control('/api/stop', 'Stop all'));
  $('token-form').addEventListener('submit', (e) => {
    e.preventDefault();
    const value = $('token').value.trim();
    if (!value) return;
    sessionStorage.setItem(TOKEN_KEY, value);
    $('token').value = '';
    $('token-form').hidden = true;
    const action = pending;
    pending = null;
    if (action) action();
  });
  $('token-cancel').addEventListener('click', () => {
    pending = null;
    $('token-form').hidden = true;
  });
  connect();
}

document.addEventListener('DOMContentLoaded', init);
