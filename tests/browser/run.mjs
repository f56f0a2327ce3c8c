// Runs the bridge's tests: `--suite browser` drives the demo page in the
// system's headless Chromium, `--suite security` and `--suite isolation`
// talk HTTP to the bridge directly. Fails (never skips) when node's
// packages or chromium are missing.
//   node run.mjs --suite browser|security|isolation|all --tessel BIN --build DIR --source DIR
import { parseArgs } from './bridge.mjs';
import { isolationTests } from './isolation.mjs';
import { securityTests } from './security.mjs';

const args = parseArgs(process.argv.slice(2));
const suites = [];
if (args.suite === 'security' || args.suite === 'all') suites.push(['security', securityTests(args)]);
if (args.suite === 'isolation' || args.suite === 'all') suites.push(['isolation', isolationTests(args)]);
if (args.suite === 'browser' || args.suite === 'all') {
  const { browserSuite } = await import('./browser.mjs');
  suites.push(['browser', await browserSuite(args)]);
}

let failures = 0;
for (const [name, suite] of suites) {
  try {
    for (const [title, test] of Object.entries(suite.tests ?? suite)) {
      if (typeof test !== 'function') continue;
      const started = Date.now();
      try {
        await test();
        console.log(`ok   ${name}: ${title} (${Date.now() - started} ms)`);
      } catch (error) {
        ++failures;
        console.log(`FAIL ${name}: ${title}\n${error.stack ?? error}`);
      }
    }
  } finally {
    await suite.close?.();
  }
}
console.log(failures === 0 ? 'all passed' : `${failures} failed`);
process.exit(failures === 0 ? 0 : 1);
