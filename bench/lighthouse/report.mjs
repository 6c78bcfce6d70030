// Lighthouse's mobile report (its default: a phone's screen, the processor slowed 4 times, a
// slow 4G network, simulated) on a site served from 127.0.0.1, gzipped as hosts serve it:
// its four scores and the metrics behind the performance score. Figures, not a test.
// Lighthouse's figures move from one run to the next, the more so on a busy machine: it
// runs five times, and the report is of the median run (Lighthouse's own choice of it),
// with the spread of the performance score and the blocking time over all five.
//
//   node bench/lighthouse/report.mjs SITE [NAME]
import * as chromeLauncher from 'chrome-launcher';
import lighthouse from 'lighthouse';
import { computeMedianRun } from 'lighthouse/core/lib/median-run.js';
import { host } from '../../tests/web/host.mjs';

const [dir, name = dir] = process.argv.slice(2);
const runs = 5;
const site = await host(dir);
// The flags tests/web/driver.mjs gives Chromium, for the same reasons.
const chrome = await chromeLauncher.launch({
  chromePath: '/usr/bin/chromium',
  chromeFlags: ['--headless=new', '--no-sandbox', '--disable-gpu', '--disable-background-networking',
                '--disable-component-update', '--disable-sync', '--no-first-run', '--disable-quic']
});
try {
  const reports = [];
  for (let run = 0; run < runs; run++)
    reports.push((await lighthouse(site.address, { port: chrome.port, output: 'json', logLevel: 'error' })).lhr);
  const lhr = computeMedianRun(reports);
  const scores = Object.values(lhr.categories).map((c) => `${c.title} ${Math.round(c.score * 100)}`);
  console.log(`Lighthouse ${lhr.lighthouseVersion}, mobile, ${name}, the median of ${runs} runs: ${scores.join(', ')}`);
  for (const id of ['first-contentful-paint', 'largest-contentful-paint', 'total-blocking-time',
                    'cumulative-layout-shift', 'speed-index', 'interactive', 'max-potential-fid'])
    console.log(`  ${lhr.audits[id].title}: ${lhr.audits[id].displayValue}`);
  const longest = lhr.audits['long-tasks'].details?.items?.[0];
  if (longest) console.log(`  the longest task: ${Math.round(longest.duration)} ms`);
  for (const category of Object.values(lhr.categories)) {
    for (const ref of category.auditRefs) {
      const audit = lhr.audits[ref.id];
      if (ref.weight > 0 && audit.score !== null && audit.score < 1)
        console.log(`  short of full marks in ${category.title}: ${audit.title}`);
    }
  }
  const each = (f) => reports.map(f).sort((a, b) => a - b).join(', ');
  console.log(`  all ${runs} runs: performance ${each((r) => Math.round(r.categories.performance.score * 100))}; ` +
              `total blocking time ${each((r) => Math.round(r.audits['total-blocking-time'].numericValue))} ms`);
} finally {
  await chrome.kill();
  await site.close();
}
