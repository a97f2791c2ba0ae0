// The web page's Lighthouse scores (make audit-web, after make web): the site served by
// tools/serve_web.mjs on the loopback address, as make serve-web serves it, audited in Debian's
// Chromium, headless, once as a phone (Lighthouse's default: a mid-range phone on a slow 4G
// network, simulated) and once as a desktop. Prints the four scores of each and the audits that
// cost points. Targets: accessibility, best practices and SEO 100 on both; performance at least
// 95 on a desktop and 90 on a phone.
//
//   node bench/lighthouse/audit_web.mjs [--site DIR]
import {spawn} from 'node:child_process';
import fs from 'node:fs';
import path from 'node:path';
import {fileURLToPath} from 'node:url';
import lighthouse from 'lighthouse';
import * as chromeLauncher from 'chrome-launcher';
import desktopConfig from 'lighthouse/core/config/desktop-config.js';

const here = path.dirname(fileURLToPath(import.meta.url));
const root = path.resolve(here, '../..');
const siteAt = process.argv.indexOf('--site');
const site = path.resolve(siteAt > 0 ? process.argv[siteAt + 1] : path.join(root, 'build-web'));
if (!fs.existsSync(path.join(site, 'index.html'))) {
  console.error(`audit-web: no web build in ${site}; make web first`);
  process.exit(1);
}
const chromium = ['/usr/bin/chromium', '/usr/bin/chromium-browser'].find((file) => fs.existsSync(file));
if (!chromium) {
  console.error('audit-web: no Chromium (tools/setup.sh --web installs Debian\'s)');
  process.exit(1);
}

const ending = [];
process.on('exit', () => {
  for (const end of ending)
    try { end(); } catch (e) {}
});
for (const signal of ['SIGINT', 'SIGTERM', 'SIGHUP'])
  process.on(signal, () => process.exit(1));

const server = spawn(process.execPath, [path.join(root, 'tools/serve_web.mjs'), site, '0', '--quiet'],
  {stdio: ['ignore', 'pipe', 'inherit']});
ending.push(() => server.kill());
const url = await new Promise((resolve, reject) => {
  server.stdout.once('data', (data) => resolve(String(data).split('\n')[0].trim()));
  server.once('exit', () => reject(new Error('the server did not start')));
});

const Categories = ['performance', 'accessibility', 'best-practices', 'seo'];
const Targets = {phone: {performance: 90}, desktop: {performance: 95}};
let missed = 0;
for (const [form, config] of [['phone', undefined], ['desktop', desktopConfig]]) {
  const chrome = await chromeLauncher.launch({chromePath: chromium,
    chromeFlags: ['--headless=new', '--no-sandbox', '--use-angle=swiftshader', '--enable-unsafe-swiftshader', '--mute-audio']});
  ending.push(() => chrome.kill());
  const run = await lighthouse(url, {port: chrome.port, output: 'json', logLevel: 'error', onlyCategories: Categories}, config);
  await chrome.kill();
  const lhr = run.lhr;
  const scores = Categories.map((name) => Math.round((lhr.categories[name].score || 0) * 100));
  console.log(`${form.padEnd(8)} performance ${scores[0]}, accessibility ${scores[1]}, best practices ${scores[2]}, SEO ${scores[3]}`);
  Categories.forEach((name, i) => {
    const target = (Targets[form][name]) || 100;
    if (scores[i] < target) {
      missed++;
      console.log(`  ${name} under its target ${target}`);
    }
  });
  // What costs points: each audit of a category with a weight and a score under 1.
  for (const name of Categories) {
    for (const ref of lhr.categories[name].auditRefs) {
      const audit = lhr.audits[ref.id];
      if (ref.weight > 0 && audit.score !== null && audit.score < 1)
        console.log(`  ${name}: ${audit.title}${audit.displayValue ? ' (' + audit.displayValue + ')' : ''}`);
    }
  }
  const metrics = ['first-contentful-paint', 'largest-contentful-paint', 'total-blocking-time', 'cumulative-layout-shift']
    .map((id) => `${lhr.audits[id].title} ${lhr.audits[id].displayValue}`);
  console.log(`  ${metrics.join(', ')}`);
  const lcp = lhr.audits['lcp-breakdown-insight'];
  const element = lcp && lcp.details && lcp.details.items && lcp.details.items.find((item) => item.type === 'node');
  if (element)
    console.log(`  largest paint: ${element.selector}`);
}
console.log(missed ? `${missed} score(s) under target` : 'every score at its target');
// The server child keeps the event loop alive: end here, which ends it too (see `ending`).
process.exit(missed ? 1 : 0);
