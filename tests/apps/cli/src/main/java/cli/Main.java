package cli;

import com.fasterxml.jackson.databind.ObjectMapper;
import com.fasterxml.jackson.databind.SerializationFeature;
import java.util.List;
import java.util.Map;
import java.util.TreeMap;
import java.util.concurrent.Callable;
import org.apache.logging.log4j.LogManager;
import org.apache.logging.log4j.Logger;
import picocli.CommandLine;
import picocli.CommandLine.Command;
import picocli.CommandLine.Option;
import picocli.CommandLine.Parameters;

@Command(name = "cli", mixinStandardHelpOptions = true, version = "cli 1.0",
         description = "Round-trips its arguments through JSON.")
public final class Main implements Callable<Integer> {
  private static final Logger LOG = LogManager.getLogger(Main.class);

  @Option(names = {"-n", "--name"}, description = "a name", defaultValue = "world")
  String name;

  @Option(names = "--count", description = "how often", defaultValue = "1")
  int count;

  @Parameters(description = "tags")
  List<String> tags = List.of();

  public record Order(String name, int count, List<String> tags, Map<String, Double> prices) {}

  @Override
  public Integer call() throws Exception {
    ObjectMapper mapper = new ObjectMapper().enable(SerializationFeature.ORDER_MAP_ENTRIES_BY_KEYS);
    Map<String, Double> prices = new TreeMap<>();
    for (String tag : tags) prices.put(tag, tag.length() * 1.25);
    Order order = new Order(name, count, tags, prices);
    String json = mapper.writeValueAsString(order);
    Order back = mapper.readValue(json, Order.class);
    System.out.println(json);
    System.out.println("same after round trip: " + order.equals(back));
    for (int i = 0; i < count; i++) LOG.info("hello {} #{}", back.name(), i + 1);
    LOG.debug("not shown at level info");
    return back.tags().size();
  }

  public static void main(String[] args) {
    System.exit(new CommandLine(new Main()).execute(args));
  }
}
