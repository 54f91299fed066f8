// The bar and the line beneath it. The bar is drawn anew at most every `drawEveryMs`, to the
// latest figure: the pad's reports and the drawing share one thread. A screen reader hears the
// line as the bar's value (aria-valuetext), as the line itself is hidden from it.
export function progressBar(element, line, show, drawEveryMs) {
  let timer = null;  // set while a drawing of the bar waits its turn
  let due = 0;       // the percentage it will draw
  let dueText = null;

  function paint(percent, text) {
    element.setAttribute('aria-valuenow', String(percent));
    element.querySelector('.bar').style.transform = `translateX(${percent - 100}%)`;
    // Kept as a function, so that a change of language says the value anew too.
    show(line.id, text && (() => {
      const words = text();
      element.setAttribute('aria-valuetext', words);
      return words;
    }));
    if (!text) element.removeAttribute('aria-valuetext');
  }

  function drawDue() {
    if (Number(element.getAttribute('aria-valuenow')) === due) return;
    paint(due, dueText);
  }

  return {
    // Shows `percent` with `text` (a function giving the line) at once; a drawing still waiting
    // is dropped, as this one tells more.
    set(percent, text) {
      clearTimeout(timer);
      timer = null;
      paint(percent, text);
    },
    // One block's figure: drawn now, or at the next turn.
    step(percent, text) {
      due = percent;
      dueText = text;
      if (timer !== null) return;
      drawDue();
      timer = setTimeout(() => {
        timer = null;
        drawDue();
      }, drawEveryMs);
    },
    percent: () => Number(element.getAttribute('aria-valuenow')),
  };
}
