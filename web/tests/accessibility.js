// The accessibility check of the page's states: axe-core (pinned in package-lock.json) run in the
// page as it stands. Only violations of serious or critical impact fail a row.
import { readFile } from 'node:fs/promises';
import { createRequire } from 'node:module';

const axeSource = await readFile(createRequire(import.meta.url).resolve('axe-core/axe.min.js'), 'utf8');
export const kAxeTags = ['wcag2a', 'wcag2aa', 'wcag21a', 'wcag21aa', 'wcag22aa', 'best-practice'];

// Runs axe on the page; returns the rules that ran (passed, failed, or not sure) and the serious
// or critical violations, each as "rule: what (where)".
export async function checkAccessibility(tab) {
  if (!(await tab.evaluate(() => 'axe' in window))) await tab.evaluate(axeSource);
  const result = await tab.evaluate((values) => window.axe.run(document, { runOnly: { type: 'tag', values } }), kAxeTags);
  const ran = [...result.passes, ...result.violations, ...result.incomplete].map((rule) => rule.id);
  const faults = result.violations
    .filter((rule) => rule.impact === 'serious' || rule.impact === 'critical')
    .map((rule) => `${rule.id}: ${rule.help} (${rule.nodes.map((node) => node.target.join(' ')).join(', ')})`);
  return { ran, faults };
}
