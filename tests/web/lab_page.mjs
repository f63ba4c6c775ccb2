// The lab page in a real headless Chromium (Debian's): it loads with no
// console error, shows one tile per seat with the values in the database,
// updates a tile without a reload when its row changes, and shows the
// silent-seat alarm. Usage: node lab_page.mjs KESTUCTL WORKDIR [SCREENSHOT.png]
import { chromium } from 'playwright-core';
import { execFileSync, spawn } from 'node:child_process';
import { writeFileSync } from 'node:fs';
import path from 'node:path';

const [kestuctl, work, screenshot] = process.argv.slice(2);
const db = path.join(work, 'KESTU.MDB');
const failures = [];
const check = (ok, what) => { if (!ok) failures.push(what); };
const sql = statement => execFileSync('sqlite3', ['-bail', db, statement], { encoding: 'utf8' });
const now = "((julianday('now') - 2440587.5) * 86400.0)";

execFileSync(kestuctl, ['init', db]);
const users = ['ab12', 'kim', 'lee_3', 'nora', 'p-05', 'sam', 'tove', 'yuki'];
for (const [i, user] of users.entries()) execFileSync(kestuctl, ['run-trial', db, user, '--seed', String(i + 1), '--no-report']);
// Eight seats: six run trial 2, one set up, one ended trial 1 (whose row holds
// its results); lab-05 has been silent for 25 s, lab-07 keeps results in its outbox.
const seats = [
  ['lab-01', 'ab12', 2, 'Running', 312, 6, 0, 1], ['lab-02', 'kim', 2, 'Running', 95, 2, 0, 0],
  ['lab-03', 'lee_3', 2, 'Running', 401, 11, 0, 1], ['lab-04', 'nora', 2, 'SetUp', 0, 0, 0, 0],
  ['lab-05', 'p-05', 2, 'Running', 188, 5, 0, 25], ['lab-06', 'sam', 1, 'Ended', 480, 9, 0, 0],
  ['lab-07', 'tove', 2, 'Running', 240, 4, 1, 0], ['lab-08', 'yuki', 2, 'Running', 57, 0, 0, 2],
];
for (const [seat, user, trial, phase, clock, missed, outbox, ago] of seats) {
  sql(`INSERT INTO "SeatStatus" VALUES ('${seat}', 'dev', '${user}', ${trial}, 'Experiment', '${phase}', ${clock}, 480, ` +
      `${missed}, ${outbox}, ${now} - ${ago}, '')`);
}

const serve = spawn(kestuctl, ['serve', db, '--listen', '127.0.0.1:0'], { stdio: ['ignore', 'pipe', 'inherit'] });
const url = await new Promise((resolve, reject) => {
  let out = '';
  serve.stdout.on('data', d => {
    out += d;
    const m = out.match(/http:\/\/127\.0\.0\.1:(\d+)\//);
    if (m) resolve(m[0]);
  });
  serve.on('exit', code => reject(new Error('kestuctl serve ended with status ' + code)));
});

const browser = await chromium.launch({
  executablePath: '/usr/bin/chromium',
  headless: true,
  args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
         '--disable-component-update', '--disable-sync', '--no-first-run'],
});
try {
  const page = await browser.newPage({ viewport: { width: 1280, height: 640 } });
  const errors = [];
  page.on('console', m => { if (m.type() === 'error') errors.push(m.text()); });
  page.on('pageerror', e => errors.push(String(e)));
  await page.goto(url);
  await page.waitForFunction(() => document.querySelectorAll('.tile').length === 8, null, { timeout: 10000 });

  // Every tile against its row in the database.
  const rows = sql('SELECT "Seat", "UserID", "Experiment", "Phase", "Clock", "EndClock", "MissedBuckets" FROM "SeatStatus" ORDER BY "Seat"')
    .trim().split('\n').map(line => line.split('|'));
  check(rows.length === 8, 'the database holds 8 seats');
  const two = n => String(n).padStart(2, '0');
  const clock = s => two(Math.floor(s / 60)) + ':' + two(s % 60);
  for (const [seat, user, trial, phase, c, end, missed] of rows) {
    const tile = page.locator(`.tile[data-seat="${seat}"]`);
    const text = sel => tile.locator(sel).innerText();
    check(await text('.user') === user, `${seat} shows participant ${user}`);
    check(await text('.trial') === 'trial ' + trial, `${seat} shows trial ${trial}`);
    check(await text('.phase') === phase, `${seat} shows phase ${phase}`);
    check(await text('.clock') === clock(+c) + ' / ' + clock(+end), `${seat} shows its clock ${clock(+c)}`);
    check(await text('.missed') === missed, `${seat} shows ${missed} missed`);
  }

  // The silent seat's alarm, and only there.
  const silent = page.locator('.alarm.silent');
  check(await silent.count() === 1, 'exactly one silent-seat alarm');
  check(await page.locator('.tile[data-seat="lab-05"] .alarm.silent').isVisible(), 'lab-05 shows the silent alarm');
  check(/^Silent for \d+ s while its trial runs\.$/.test(await silent.first().innerText()), 'the silent alarm says how long');
  check(await page.locator('.tile[data-seat="lab-07"] .alarm.outbox').isVisible(), 'lab-07 shows its outbox');

  // A changed row reaches the tile without a reload.
  await page.evaluate(() => { window.sameDocument = true; });
  if (screenshot) await page.screenshot({ path: screenshot, fullPage: true });
  sql(`UPDATE "SeatStatus" SET "Clock" = 333, "MissedBuckets" = 17, "ReportedAt" = ${now} WHERE "Seat" = 'lab-02'`);
  await page.waitForFunction(() => document.querySelector('.tile[data-seat="lab-02"] .missed').textContent === '17',
                             null, { timeout: 5000 }).catch(() => {});
  const tile2 = page.locator('.tile[data-seat="lab-02"]');
  check(await tile2.locator('.missed').innerText() === '17', 'lab-02 shows 17 missed after its row changed');
  check(await tile2.locator('.clock').innerText() === '05:33 / 08:00', 'lab-02 shows its new clock');
  check(await page.evaluate(() => window.sameDocument === true), 'the page was not reloaded');

  check(errors.length === 0, 'no console error: ' + errors.join('; '));
} finally {
  await browser.close();
  serve.kill('SIGTERM');
}
if (failures.length) {
  for (const f of failures) console.error('lab page: FAILED: ' + f);
  process.exit(1);
}
console.log('lab page: 8 tiles with the database\'s values, a live update and the silent alarm, no console error');
