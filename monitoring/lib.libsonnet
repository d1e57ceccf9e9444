// Helpers shared by the alerts and the dashboard.
{
  // metric{matchers}: the selector and any extra matchers, '' ones left out
  // (an empty {} is no valid selector).
  series(metric, matchers):: (
    local present = std.filter(function(m) m != '', matchers);
    if present == [] then metric else metric + '{' + std.join(',', present) + '}'
  ),

  // A number as expressions and texts show it: six decimals at most, no
  // trailing zeros (5 * 1.05 is 5.250000000000001, 1.5 * 0.97 prints as
  // 1.4550000000000001).
  number(x):: std.rstripChars(std.rstripChars(std.format('%.6f', x), '0'), '.'),

  // The board's model, as a template of an alert's annotations: from
  // quorvik_board_info of the same target, its last value within a day so
  // that a target whose metrics stopped is still named.
  model:: '{{ with printf "last_over_time(quorvik_board_info{instance=%q,job=%q}[1d])" '
          + '$labels.instance $labels.job | query }}{{ . | first | label "model" }}'
          + '{{ else }}unidentified board{{ end }}',

  // "instance (model)", how every alert names its board.
  board:: '{{ $labels.instance }} (' + self.model + ')',
}
