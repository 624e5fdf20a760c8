-- wrk script: one PostPolling ballot per request, from a distinct user each,
-- spread over the polls given as arguments: wrk ... -- TAG POLLID...
local polls = {}
local tag = "w"
local counter = 0
local choices = {"A", "B", "C", "D"}
local threads = 0

function setup(thread)
  threads = threads + 1
  thread:set("thread_id", threads)
end

function init(args)
  tag = args[1]
  for i = 2, #args do polls[#polls + 1] = args[i] end
end

function request()
  counter = counter + 1
  local poll = polls[(counter % #polls) + 1]
  local choice = choices[(math.floor(counter / #polls) % #choices) + 1]
  return wrk.format("GET", "/wendrake-idm/v4/polling/polling.asp?job=PostPolling&pollid=" .. poll ..
    "&userid=" .. tag .. "t" .. thread_id .. "n" .. counter .. "&username=Voter&itemcount=1" ..
    "&itemname_0=" .. choice .. "&_rnd=" .. counter)
end
