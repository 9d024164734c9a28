// Checks of a page as people meet it, shared by the browser page's test and
// the --html page's: nothing clipped at a phone's width or a desktop's (by
// the elements' bounds), axe-core's serious and critical findings, and the
// policy the browser enforces, probed from inside the page. Each returns the
// problems it found, in words; an empty list is a pass.
import fs from 'node:fs';
import { createRequire } from 'node:module';

const require = createRequire(import.meta.url);
const axeSource = fs.readFileSync(require.resolve('axe-core/axe.min.js'), 'utf8');

export const kViewports = [
    { name: 'phone', width: 390, height: 844 },
    { name: 'desktop', width: 1366, height: 768 },
];

// Every element laid out (boards out of sight and closed details too), then
// measured: the page as wide as the window, no box that hides what it holds,
// no box whose text spills over its neighbours, every scroll box focusable,
// no table cell, text box or button squeezed.
export async function clippingProblems(page, what) {
    const problems = await page.evaluate(() => {
        const style = document.createElement('style');
        style.textContent = '*{content-visibility:visible!important}';
        document.head.append(style);
        const closed = [...document.querySelectorAll('details:not([open])')];
        closed.forEach((details) => { details.open = true; });
        const found = [];
        const name = (element) => element.tagName.toLowerCase() + (element.id ? `#${element.id}` : '') +
            (element.classList.length ? `.${[...element.classList].join('.')}` : '') +
            ` "${(element.textContent || '').trim().slice(0, 40)}"`;
        const width = document.documentElement.clientWidth;
        if (document.documentElement.scrollWidth > width + 1)
            found.push(`the page is ${document.documentElement.scrollWidth} px wide in a window of ${width}`);
        const scrolls = (element) => /auto|scroll/.test(getComputedStyle(element).overflowX + getComputedStyle(element).overflowY);
        const focusable = (element) => element.tabIndex >= 0;
        for (const element of document.body.querySelectorAll('*')) {
            const css = getComputedStyle(element);
            // A text box too narrow to read a line in, a button whose label breaks.
            if (element.matches('textarea') && element.clientWidth > 0 && element.clientWidth < 200)
                found.push(`${name(element)} is squeezed to ${element.clientWidth} px`);
            const lineHeight = parseFloat(css.lineHeight) || parseFloat(css.fontSize) * 1.25;
            if (element.matches('button') && element.clientHeight - parseFloat(css.paddingTop) -
                parseFloat(css.paddingBottom) > 1.6 * lineHeight)
                found.push(`${name(element)} breaks its label over lines`);
            if (css.display === 'none' || css.display === 'inline' || element.closest('svg, .skip, script, textarea, select, input'))
                continue;
            // A cell a few letters wide breaks its words one letter per line.
            if (/^T[DH]$/.test(element.tagName) && element.clientWidth < 40)
                found.push(`${name(element)} is squeezed to ${element.clientWidth} px`);
            const spills = element.scrollWidth > element.clientWidth + 1 || element.scrollHeight > element.clientHeight + 1;
            if (scrolls(element)) {
                if (spills && !focusable(element)) found.push(`${name(element)} scrolls but cannot take focus`);
                continue;
            }
            if (!spills || element.clientWidth === 0) continue;
            if (/hidden|clip/.test(css.overflowX + css.overflowY))
                found.push(`${name(element)} hides ${element.scrollWidth - element.clientWidth} px of what it holds`);
            else if (element.scrollWidth > element.clientWidth + 1 && element.tagName !== 'BODY' && element.tagName !== 'HTML') {
                let inScrollBox = false;
                for (let up = element.parentElement; up && !inScrollBox; up = up.parentElement) inScrollBox = scrolls(up);
                if (!inScrollBox)
                    found.push(`${name(element)} spills ${element.scrollWidth - element.clientWidth} px over its neighbours`);
            }
        }
        closed.forEach((details) => { details.open = false; });
        style.remove();
        return found;
    });
    return problems.slice(0, 10).map((problem) => `${what}: ${problem}`);
}

export async function axeProblems(page, what) {
    // Given as the driver's own script: the page's policy refuses any other.
    if (!(await page.evaluate(() => Boolean(window.axe)))) await page.evaluate(axeSource);
    const violations = await page.evaluate(async () => {
        const results = await window.axe.run(document, { resultTypes: ['violations'] });
        return results.violations.filter((v) => v.impact === 'serious' || v.impact === 'critical')
            .map((v) => `${v.id} (${v.impact}) at ${v.nodes.slice(0, 3).map((node) => node.target.join(' ')).join(', ')}`);
    });
    return violations.map((violation) => `${what}: axe: ${violation}`);
}

// Collects the page's policy violation reports from its first script on,
// with where the refused code was, so a report tells the page's own scripts
// (the page's file, or the worker's blob:) from anything else.
export async function recordViolations(page) {
    await page.evaluateOnNewDocument(() => {
        window.policyViolations = [];
        document.addEventListener('securitypolicyviolation', (event) => {
            window.policyViolations.push({ directive: event.effectiveDirective, blocked: event.blockedURI,
                policy: event.originalPolicy, source: `${event.sourceFile}:${event.lineNumber}`, sample: event.sample });
        });
    });
}

export async function takeViolations(page) {
    return page.evaluate(() => (window.policyViolations || []).splice(0));
}

// What the page's policy must refuse, tried from inside the page: a request
// to `probeUrl` by each way a page can make one, an inline script and an
// inline event handler such as injected markup would bring, and a <base>
// that would move the page's links. The policy that refused each is the one
// the browser enforces; any that went through is a problem, and so is any
// violation the page made on its own (`before`).
export async function policyProblems(page, what, probeUrl) {
    const before = await takeViolations(page);
    // What the browser logs of the refusals below is expected.
    page.probingPolicy = true;
    const problems = before.map((v) => `${what}: the page itself broke its policy (${v.directive} ${v.blocked} at ` +
        `${v.source}${v.sample ? `: ${v.sample}` : ''})`);
    const outcome = await page.evaluate(async (url) => {
        const ran = { script: false, handler: false };
        window.probeRan = ran;
        const settle = () => new Promise((resolve) => setTimeout(resolve, 300));
        const tries = {};
        tries.fetch = await fetch(url + '?fetch').then(() => 'answered', () => 'refused');
        const image = new Image();
        tries.image = await new Promise((resolve) => {
            image.onload = () => resolve('loaded');
            image.onerror = () => resolve('refused');
            image.src = url + '?image';
        });
        const script = document.createElement('script');
        script.textContent = 'window.probeRan.script = true;';
        document.body.append(script);
        const holder = document.createElement('div');
        holder.innerHTML = '<img src="data:," onerror="window.probeRan.handler = true">' +
            '<img src="data:image/gif;base64,R0lGODlhAQABAAAAACw=" onload="window.probeRan.handler = true">';
        document.body.append(holder);
        const base = document.createElement('base');
        base.href = url;
        document.head.append(base);
        const baseMoved = document.baseURI.startsWith(url);
        await settle();
        script.remove();
        holder.remove();
        base.remove();
        const policy = document.querySelector('meta[http-equiv="Content-Security-Policy"]');
        return { tries, ran, baseMoved, policy: policy ? policy.content : null };
    }, probeUrl);
    await new Promise((resolve) => setTimeout(resolve, 300));
    page.probingPolicy = false;
    const refused = await takeViolations(page);
    const refusedBy = (directive, blocked = '') =>
        refused.some((v) => v.directive === directive && (v.blocked || '').startsWith(blocked));
    if (outcome.tries.fetch !== 'refused' || !refusedBy('connect-src', probeUrl))
        problems.push(`${what}: a fetch from the page was not refused by its policy (${outcome.tries.fetch})`);
    if (outcome.tries.image !== 'refused' || !refusedBy('img-src', probeUrl))
        problems.push(`${what}: an image from outside was not refused by its policy (${outcome.tries.image})`);
    if (outcome.ran.script) problems.push(`${what}: an inline script put into the page ran`);
    if (outcome.ran.handler) problems.push(`${what}: an inline event handler put into the page ran`);
    if (outcome.baseMoved || !refusedBy('base-uri')) problems.push(`${what}: a <base> element moved the page's links`);
    // The enforced policy, as the browser reports it, against what it must hold.
    const enforced = refused.length ? refused[0].policy : outcome.policy;
    if (!/form-action 'none'/.test(enforced || '')) problems.push(`${what}: the policy lacks form-action 'none': ${enforced}`);
    if (/'unsafe-inline'[^;]*/.test((/script-src[^;]*/.exec(enforced || '') || [''])[0]))
        problems.push(`${what}: the policy lets inline scripts run: ${enforced}`);
    return problems;
}
